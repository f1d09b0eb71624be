#include "Vessa/App/Library/WatchedDirectoriesSetting.h"

#include <QDir>
#include <QSettings>
#include <QVariant>

namespace vessa {

QString WatchedDirectoriesSetting::normalized(const QString& path)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return QString();
    return QDir::cleanPath(path);
}

QStringList WatchedDirectoriesSetting::load(const QSettings& settings)
{
    const QVariant stored = settings.value(settingsKey);
    // A list of one element reads back as a plain text.
    const QVariantList elements = stored.typeId() == QMetaType::QString ? QVariantList{stored} : stored.toList();
    QStringList folders;
    for (const QVariant& element : elements) {
        if (element.typeId() != QMetaType::QString)
            continue;
        const QString folder = normalized(element.toString());
        if (!folder.isEmpty() && !folders.contains(folder))
            folders.append(folder);
    }
    return folders;
}

void WatchedDirectoriesSetting::save(QSettings& settings, const QStringList& folders)
{
    settings.setValue(settingsKey, folders);
}

} // namespace vessa
