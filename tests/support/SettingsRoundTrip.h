#pragma once

// What the next launch reads back of settings: `write` fills a fresh INI
// settings file, and `read` sees it through a settings object of its own.

#include <QSettings>
#include <QTemporaryDir>

namespace vessa::test {

template <typename Write, typename Read>
auto settingsRoundTrip(Write write, Read read)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("settings.ini"));
    {
        QSettings settings(file, QSettings::IniFormat);
        write(settings);
    }
    const QSettings settings(file, QSettings::IniFormat);
    return read(settings);
}

// Stores `value` under `key`, then reads it back with `read`.
template <typename Read>
auto storedAndRead(const QString& key, const QVariant& value, Read read)
{
    return settingsRoundTrip([&](QSettings& settings) { settings.setValue(key, value); }, read);
}

} // namespace vessa::test
