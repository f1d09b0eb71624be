// The whole program under an X server of its own (Xvfb) and a session bus of
// its own: `vessa` starts over a temporary home whose settings name a music
// folder of generated files, scans it, plays a track when asked over MPRIS,
// and opens its Equalizer window on Ctrl+2. Pictures of the main window and
// the Equalizer window are kept in artefacts/ beside the test.

#include "Vessa/App/Library/WatchedDirectoriesSetting.h"
#include "tests/VessaViews/X11Session.h"
#include "tests/support/FfmpegTool.h"
#include "tests/support/WavFixture.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace vessa;

namespace {

const QString mprisService = "org.mpris.MediaPlayer2.vessa";
const QString mprisPath = "/org/mpris/MediaPlayer2";
const QString playerInterface = "org.mpris.MediaPlayer2.Player";

struct Song {
    const char* artist;
    const char* album;
    const char* title;
    int track;
    int frequency;
};

const Song songs[] = {
    {"Harbour Lights", "Tidal Rooms", "Morning on the Quay", 1, 330},
    {"Harbour Lights", "Tidal Rooms", "Saltwater Waltz", 2, 392},
    {"Harbour Lights", "Tidal Rooms", "Lanterns", 3, 440},
    {"Mira Okafor", "Paper Satellites", "Orbit Song", 1, 494},
    {"Mira Okafor", "Paper Satellites", "Static and Snow", 2, 523},
    {"The Velvet Looms", "Threadbare", "Needle North", 1, 587},
    {"The Velvet Looms", "Threadbare", "Warp and Weft", 2, 659},
};

QVariant mprisProperty(const QString& name)
{
    QDBusInterface properties(mprisService, mprisPath, "org.freedesktop.DBus.Properties");
    QDBusReply<QVariant> reply = properties.call("Get", playerInterface, name);
    return reply.isValid() ? reply.value() : QVariant();
}

QString playingTitle()
{
    const QVariantMap metadata = qdbus_cast<QVariantMap>(mprisProperty("Metadata"));
    return metadata.value("xesam:title").toString();
}

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QProcess m_vessa;
    QDir m_artefacts;

    QString path(const QString& relative) const { return m_home.filePath(relative); }

    void makeMusicFolder()
    {
        for (const Song& song : songs) {
            const QString folder = path(QString("Music/%1/%2").arg(song.artist, song.album));
            QVERIFY(QDir().mkpath(folder));
            const QString error = test::runFfmpeg(
                {"-f", "lavfi", "-i",
                 QString("sine=frequency=%1:duration=%2").arg(song.frequency).arg(150 + 7 * song.track), "-metadata",
                 QString("title=%1").arg(song.title), "-metadata", QString("artist=%1").arg(song.artist), "-metadata",
                 QString("album=%1").arg(song.album), "-metadata", QString("track=%1").arg(song.track), "-c:a", "flac",
                 QString("%1/%2 %3.flac").arg(folder).arg(song.track, 2, 10, QChar('0')).arg(song.title)});
            QVERIFY2(error.isEmpty(), qPrintable(error));
        }
        // An untagged file, named by its file name.
        test::WavFixture wav;
        wav.frameCount = 44100 * 3;
        wav.content = test::WavFixture::Content::sine;
        QVERIFY(wav.write(path("Music/field recording.wav")));

        QSettings settings(path("config/Tornwick/Vessa.conf"), QSettings::IniFormat);
        WatchedDirectoriesSetting::save(settings, {path("Music")});
        settings.sync();
        QCOMPARE(settings.status(), QSettings::NoError);
    }

    void keep(const QImage& image, const QString& name)
    {
        QVERIFY(!image.isNull());
        const QString file = m_artefacts.filePath(name);
        QVERIFY2(image.save(file), qPrintable(file));
        qInfo("Saved %s (%dx%d)", qPrintable(file), image.width(), image.height());
    }

    // The picture shows more than one flat colour.
    static bool hasContent(const QImage& image)
    {
        const QRgb first = image.pixel(0, 0);
        for (int y = 0; y < image.height(); y += 7)
            for (int x = 0; x < image.width(); x += 7)
                if (image.pixel(x, y) != first)
                    return true;
        return false;
    }

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != "xcb")
            QSKIP("needs an X server (run under xvfb-run)");
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        m_artefacts = QDir(QDir::current().filePath("artefacts"));
        QVERIFY(m_artefacts.mkpath("."));
        for (const char* folder : {"config", "data", "cache", "runtime"})
            QVERIFY(QDir().mkpath(path(folder)));
        QFile::setPermissions(path("runtime"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        makeMusicFolder();
    }

    void cleanupTestCase()
    {
        if (m_vessa.state() != QProcess::NotRunning) {
            m_vessa.terminate();
            if (!m_vessa.waitForFinished(10000))
                m_vessa.kill();
        }
    }

    void theProgramScansPlaysAndShowsItsWindows()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", m_home.path());
        environment.insert("XDG_CONFIG_HOME", path("config"));
        environment.insert("XDG_DATA_HOME", path("data"));
        environment.insert("XDG_CACHE_HOME", path("cache"));
        environment.insert("XDG_RUNTIME_DIR", path("runtime"));
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("SDL_AUDIODRIVER", "dummy");
        environment.remove("QT_LOGGING_RULES");
        m_vessa.setProcessEnvironment(environment);
        m_vessa.setProcessChannelMode(QProcess::ForwardedChannels);
        m_vessa.start(VESSA_EXECUTABLE);
        QVERIFY(m_vessa.waitForStarted(10000));

        test::X11Session x11;
        QVERIFY(x11.isValid());
        std::optional<xcb_window_t> main;
        QTRY_VERIFY_WITH_TIMEOUT((main = x11.windowTitled("Vessa")).has_value(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered(mprisService), 30000);

        // The library is scanned and becomes the queue; playing starts a track of it.
        QStringList titles;
        for (const Song& song : songs)
            titles << song.title;
        titles << "field recording";
        QDBusInterface player(mprisService, mprisPath, playerInterface);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path("data/Tornwick/media.db")), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                if (mprisProperty("PlaybackStatus").toString() != "Playing")
                    player.call("Play");
                return mprisProperty("PlaybackStatus").toString() == "Playing" && titles.contains(playingTitle());
            }(),
            60000);
        // The untagged file sorts first; the next track has tags to show.
        player.call("Next");
        QTRY_VERIFY_WITH_TIMEOUT(mprisProperty("PlaybackStatus").toString() == "Playing"
                                     && titles.contains(playingTitle()) && playingTitle() != "field recording",
                                 30000);
        qInfo("Playing \"%s\"", qPrintable(playingTitle()));

        // Let the window show what plays, then take its picture.
        QTest::qWait(1500);
        const QImage mainPicture = test::X11Session::grab(*main);
        QVERIFY(hasContent(mainPicture));
        keep(mainPicture, "vessa-main-window.png");

        // Ctrl+2 in the main window opens the Equalizer.
        QDBusInterface root(mprisService, mprisPath, "org.mpris.MediaPlayer2");
        root.call("Raise");
        std::optional<xcb_window_t> equalizer;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                x11.sendControlKey(*main, '2');
                QTest::qWait(200);
                return (equalizer = x11.windowTitled("Equalizer")).has_value();
            }(),
            20000);
        QTest::qWait(1000);
        const QImage equalizerPicture = test::X11Session::grab(*equalizer);
        QVERIFY(hasContent(equalizerPicture));
        keep(equalizerPicture, "vessa-equalizer-window.png");

        // Still playing; a clean quit on SIGTERM.
        QCOMPARE(mprisProperty("PlaybackStatus").toString(), QString("Playing"));
        m_vessa.terminate();
        QVERIFY(m_vessa.waitForFinished(20000));
        QCOMPARE(m_vessa.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_vessa.exitCode(), 0);
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
