#pragma once

// A home folder of its own (HOME points at a temporary folder and
// QStandardPaths is in test mode, so the database lands in
// <home>/.qttest/share/Tornwick), a settings file in it, music folders of
// hand-made WAV files, and the app state's log lines.

#include "Vessa/App/AppState.h"
#include "tests/support/LogCapture.h"
#include "tests/support/WavFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace vessa::test {

struct AppStateRig {
    LogCapture log;
    QTemporaryDir home;

    AppStateRig()
    {
        qputenv("HOME", QFile::encodeName(home.path()));
        QStandardPaths::setTestModeEnabled(true);
    }

    // For tests that run without a bus of their own: the app state's
    // now-playing bridge then stays off the desktop's session bus. Call it
    // before anything uses a bus.
    static void keepOffTheSessionBus() { qunsetenv("DBUS_SESSION_BUS_ADDRESS"); }

    QString settingsFile() const { return home.filePath(QStringLiteral("settings.ini")); }
    std::unique_ptr<QSettings> settings() const
    {
        return std::make_unique<QSettings>(settingsFile(), QSettings::IniFormat);
    }
    AppState::Creation create() const { return AppState::create(settings()); }
    // A started state; null (and a failed check) when it could not start.
    std::unique_ptr<AppState> start() const
    {
        AppState::Creation creation = create();
        if (!creation.appState)
            qWarning("AppState::create failed: %s", qPrintable(creation.error));
        return std::move(creation.appState);
    }

    // A music folder under the home folder (made when missing).
    QString folder(const QString& name) const
    {
        const QString path = home.filePath(QStringLiteral("music/") + name);
        QDir().mkpath(path);
        return path;
    }
    // A short WAV file (a tenth of a second of a sine by default).
    QString writeWav(const QString& relative, qint64 frames = 4410) const
    {
        const QString path = home.filePath(QStringLiteral("music/") + relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        WavFixture wav;
        wav.frameCount = frames;
        wav.content = WavFixture::Content::sine;
        return wav.write(path) ? path : QString();
    }

    QStringList appLines() const { return log.messages(QStringLiteral("com.tornwick.vessa.App")); }

    // Scans the state's folders and waits until no scan runs any more.
    static bool scanned(AppState& state)
    {
        state.rescanAll();
        return QTest::qWaitFor([&] { return !state.isScanning(); }, 20000);
    }
    // The tracks' titles, in order.
    static QStringList titles(const QList<ScannedTrack>& tracks)
    {
        QStringList result;
        for (const ScannedTrack& track : tracks)
            result.append(track.title());
        return result;
    }
    // Waits for the library to have `count` tracks.
    static bool holds(AppState& state, qsizetype count)
    {
        return QTest::qWaitFor([&] { return state.scannedTracks().size() == count; }, 20000);
    }
};

} // namespace vessa::test
