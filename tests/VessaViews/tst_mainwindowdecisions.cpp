// The main window's decisions apart from its widgets: which tracks a sidebar
// selection lists, what the detail pane shows, the now-playing bar's texts
// and symbols, and the default names of new playlists.

#include "Parvik/Playlist.h"
#include "Vessa/Views/MainWindow/DetailState.h"
#include "Vessa/Views/MainWindow/PlaylistOperations.h"
#include "Vessa/Views/NowPlaying/NowPlayingFormat.h"
#include "Vessa/Views/TrackLists/LibrarySelection.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace vessa;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(vessa::DetailState::Page)
Q_DECLARE_METATYPE(vessa::NowPlayingFormat::TrackInfoForm)

namespace {

ScannedTrack trackAt(const QString& path)
{
    const QString title = path.section(u'/', -1);
    return ScannedTrack(TrackRef(QStringLiteral("Artist"), QStringLiteral("Album"), title), title,
                        QStringLiteral("Artist"), QStringLiteral("Album"), 60.0, std::nullopt, std::nullopt, path);
}

QStringList titles(const QList<ScannedTrack>& tracks)
{
    QStringList result;
    for (const ScannedTrack& track : tracks)
        result << track.title();
    return result;
}

QList<Playlist> playlistsNamed(const QStringList& names)
{
    QList<Playlist> playlists;
    for (const QString& name : names)
        playlists.append(Playlist(name, QList<PlaylistTrack>()));
    return playlists;
}

} // namespace

class MainWindowDecisions : public QObject {
    Q_OBJECT

private slots:
    void folderMembership_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("inside");
        QTest::newRow("file in folder") << u"/m/A/x.flac"_s << u"/m/A"_s << true;
        QTest::newRow("file deeper down") << u"/m/A/b/c/x.flac"_s << u"/m/A"_s << true;
        QTest::newRow("sibling with a longer name") << u"/m/AB/x.flac"_s << u"/m/A"_s << false;
        QTest::newRow("sibling with a suffix") << u"/m/A-live/x.flac"_s << u"/m/A"_s << false;
        QTest::newRow("archive member") << u"/m/A/set.zip::x.mod"_s << u"/m/A"_s << true;
        QTest::newRow("the folder itself") << u"/m/A"_s << u"/m/A"_s << true;
        QTest::newRow("folder given with a slash") << u"/m/A/x.flac"_s << u"/m/A/"_s << true;
        QTest::newRow("root folder") << u"/x.flac"_s << u"/"_s << true;
        QTest::newRow("parent is no member") << u"/m"_s << u"/m/A"_s << false;
        QTest::newRow("empty folder") << u"/m/A/x.flac"_s << u""_s << false;
    }
    void folderMembership()
    {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(bool, inside);
        QCOMPARE(LibrarySelection::isInFolder(path, folder), inside);
    }

    void tracksForSelection_data()
    {
        QTest::addColumn<std::optional<SidebarSource>>("source");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("none") << std::optional<SidebarSource>() << QStringList{"a1", "ab1", "a2", "b1"};
        QTest::newRow("local files") << std::optional(SidebarSource::localFiles())
                                     << QStringList{"a1", "ab1", "a2", "b1"};
        QTest::newRow("folder A, not its sibling AB")
            << std::optional(SidebarSource::folder(QStringLiteral("/m/A"))) << QStringList{"a1", "a2"};
        QTest::newRow("folder AB") << std::optional(SidebarSource::folder(QStringLiteral("/m/AB")))
                                   << QStringList{"ab1"};
        QTest::newRow("starred") << std::optional(SidebarSource::starred()) << QStringList{};
        QTest::newRow("playlist") << std::optional(SidebarSource::playlist(QStringLiteral("Mix"))) << QStringList{};
    }
    void tracksForSelection()
    {
        QFETCH(std::optional<SidebarSource>, source);
        QFETCH(QStringList, expected);
        const QList<ScannedTrack> library{trackAt(QStringLiteral("/m/A/a1")), trackAt(QStringLiteral("/m/AB/ab1")),
                                          trackAt(QStringLiteral("/m/A/sub/a2")), trackAt(QStringLiteral("/m/B/b1"))};
        QCOMPARE(titles(LibrarySelection::tracksFor(source, library)), expected);
    }

    void revealKeepsOrLeavesTheSelection()
    {
        const QList<ScannedTrack> library{trackAt(QStringLiteral("/m/A/a1")), trackAt(QStringLiteral("/m/B/b1"))};
        const TrackRef a1 = library[0].ref();
        const auto folderA = std::optional(SidebarSource::folder(QStringLiteral("/m/A")));
        const auto folderB = std::optional(SidebarSource::folder(QStringLiteral("/m/B")));
        QCOMPARE(LibrarySelection::afterReveal(folderA, library, a1), folderA);
        QCOMPARE(LibrarySelection::afterReveal(folderB, library, a1), SidebarSource::localFiles());
        QCOMPARE(LibrarySelection::afterReveal(SidebarSource::starred(), library, a1), SidebarSource::localFiles());
        QCOMPARE(LibrarySelection::afterReveal(std::nullopt, library, a1), std::nullopt);
        // Compared by reference: a track not in the library still selects Local Files.
        const TrackRef stranger(QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z"));
        QCOMPARE(LibrarySelection::afterReveal(folderA, library, stranger), SidebarSource::localFiles());
    }

    void sourcesHashByKindAndPayload()
    {
        QSet<SidebarSource> set{SidebarSource::localFiles(), SidebarSource::starred(),
                                SidebarSource::folder(QStringLiteral("Mix")),
                                SidebarSource::playlist(QStringLiteral("Mix"))};
        QCOMPARE(set.size(), 4);
        QVERIFY(set.contains(SidebarSource::playlist(QStringLiteral("Mix"))));
        QVERIFY(!set.contains(SidebarSource::playlist(QStringLiteral("mix"))));
    }

    void detailPage_data()
    {
        QTest::addColumn<std::optional<SidebarSource>>("source");
        QTest::addColumn<bool>("scanning");
        QTest::addColumn<bool>("empty");
        QTest::addColumn<DetailState::Page>("page");
        const auto local = std::optional(SidebarSource::localFiles());
        const auto folder = std::optional(SidebarSource::folder(QStringLiteral("/m/A")));
        QTest::newRow("first scan of an empty library") << local << true << true << DetailState::Page::scanning;
        QTest::newRow("empty library, no scan") << local << false << true << DetailState::Page::empty;
        QTest::newRow("rescan of a library") << local << true << false << DetailState::Page::library;
        QTest::newRow("library") << local << false << false << DetailState::Page::library;
        QTest::newRow("folder with the library") << folder << false << false << DetailState::Page::library;
        QTest::newRow("no selection") << std::optional<SidebarSource>() << false << false << DetailState::Page::library;
        QTest::newRow("starred while scanning")
            << std::optional(SidebarSource::starred()) << true << true << DetailState::Page::playlist;
        QTest::newRow("playlist") << std::optional(SidebarSource::playlist(QStringLiteral("Mix"))) << false << false
                                  << DetailState::Page::playlist;
    }
    void detailPage()
    {
        QFETCH(std::optional<SidebarSource>, source);
        QFETCH(bool, scanning);
        QFETCH(bool, empty);
        QFETCH(DetailState::Page, page);
        QCOMPARE(DetailState::pageFor(source, scanning, empty), page);
    }

    void detailTexts()
    {
        QCOMPARE(DetailState::scanningText(std::nullopt), QStringLiteral("Scanning for music files..."));
        QCOMPARE(DetailState::scanningText(LibraryScanProgress{3, 10}), QStringLiteral("Scanning 3/10 files..."));
        QCOMPARE(DetailState::scanningText(LibraryScanProgress{0, 0}), QStringLiteral("Scanning 0/0 files..."));
        QCOMPARE(DetailState::emptyTitle(), QStringLiteral("No tracks loaded"));
        QCOMPARE(
            DetailState::emptyHint(),
            QStringLiteral("Add a music folder with \"Add Folder\" in the sidebar, or press Ctrl+, to open Settings."));
    }

    void formatTime_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0:00";
        QTest::newRow("just under a minute") << 59.9 << "0:59";
        QTest::newRow("a minute") << 60.0 << "1:00";
        QTest::newRow("two minutes five") << 125.0 << "2:05";
        QTest::newRow("over an hour, no hour field") << 3725.0 << "62:05";
        QTest::newRow("negative truncates toward zero") << -0.5 << "0:00";
        QTest::newRow("not a number") << std::nan("") << "0:00";
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "0:00";
    }
    void formatTime()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(NowPlayingFormat::formatTime(seconds), text);
    }

    void formatTimeOfHugeValuesIsSomeText()
    {
        QVERIFY(!NowPlayingFormat::formatTime(1e300).isEmpty());
        QVERIFY(!NowPlayingFormat::formatTime(-1e300).isEmpty());
    }

    void progressFraction()
    {
        QCOMPARE(NowPlayingFormat::progressFraction(30, 120.0), 0.25);
        QCOMPARE(NowPlayingFormat::progressFraction(0, 0.0), 0.0);
        QCOMPARE(NowPlayingFormat::progressFraction(30, std::nullopt), 0.0);
        QCOMPARE(NowPlayingFormat::progressFraction(200, 100.0), 1.0);
    }

    void volume_data()
    {
        QTest::addColumn<double>("volume");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("tooltip");
        QTest::addColumn<QString>("muteSymbol");
        QTest::addColumn<double>("afterMute");
        QTest::newRow("silent") << 0.0 << u"speaker.slash.fill"_s << u"Volume: 0%"_s << u"speaker.wave.2"_s << 0.75;
        QTest::newRow("just under a third")
            << 0.329 << u"speaker.wave.1.fill"_s << u"Volume: 32%"_s << u"speaker.slash"_s << 0.0;
        QTest::newRow("a third") << 0.33 << u"speaker.wave.2.fill"_s << u"Volume: 33%"_s << u"speaker.slash"_s << 0.0;
        QTest::newRow("two thirds") << 0.66 << u"speaker.wave.3.fill"_s << u"Volume: 66%"_s << u"speaker.slash"_s
                                    << 0.0;
        QTest::newRow("default") << 0.75 << u"speaker.wave.3.fill"_s << u"Volume: 75%"_s << u"speaker.slash"_s << 0.0;
        QTest::newRow("truncated percentage")
            << 0.999 << u"speaker.wave.3.fill"_s << u"Volume: 99%"_s << u"speaker.slash"_s << 0.0;
        QTest::newRow("full") << 1.0 << u"speaker.wave.3.fill"_s << u"Volume: 100%"_s << u"speaker.slash"_s << 0.0;
    }
    void volume()
    {
        QFETCH(double, volume);
        QFETCH(QString, symbol);
        QFETCH(QString, tooltip);
        QFETCH(QString, muteSymbol);
        QFETCH(double, afterMute);
        QCOMPARE(NowPlayingFormat::volumeSymbol(volume), symbol);
        QCOMPARE(NowPlayingFormat::volumeTooltip(volume), tooltip);
        QCOMPARE(NowPlayingFormat::muteButtonSymbol(volume), muteSymbol);
        QCOMPARE(NowPlayingFormat::afterMuteButton(volume), afterMute);
    }

    void repeatCycle()
    {
        RepeatMode mode = RepeatMode::off;
        QStringList symbols{NowPlayingFormat::repeatSymbol(mode)};
        QStringList tooltips{NowPlayingFormat::repeatTooltip(mode)};
        for (int press = 0; press < 3; ++press) {
            mode = next(mode);
            symbols << NowPlayingFormat::repeatSymbol(mode);
            tooltips << NowPlayingFormat::repeatTooltip(mode);
        }
        QVERIFY(mode == RepeatMode::off);
        QCOMPARE(symbols, (QStringList{"repeat", "repeat", "repeat.1", "repeat"}));
        QCOMPARE(tooltips, (QStringList{"Repeat: Off", "Repeat: All", "Repeat: One", "Repeat: Off"}));
    }

    void trackInfoForm_data()
    {
        using Form = NowPlayingFormat::TrackInfoForm;
        QTest::addColumn<bool>("hasTrack");
        QTest::addColumn<bool>("hasMetadata");
        QTest::addColumn<int>("transport");
        QTest::addColumn<Form>("form");
        const int idle = 0, playing = 1, paused = 2;
        QTest::newRow("tags loaded") << true << true << playing << Form::metadata;
        QTest::newRow("tags loaded, idle") << true << true << idle << Form::metadata;
        QTest::newRow("loading while playing") << true << false << playing << Form::loading;
        QTest::newRow("loading while paused") << true << false << paused << Form::loading;
        QTest::newRow("a track without tags, idle") << true << false << idle << Form::notPlaying;
        QTest::newRow("no track") << false << false << playing << Form::notPlaying;
        QTest::newRow("tags without a track") << false << true << playing << Form::notPlaying;
    }
    void trackInfoForm()
    {
        using Form = NowPlayingFormat::TrackInfoForm;
        QFETCH(bool, hasTrack);
        QFETCH(bool, hasMetadata);
        QFETCH(int, transport);
        QFETCH(Form, form);
        const std::optional<TrackRef> track =
            hasTrack ? std::optional(TrackRef(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")))
                     : std::nullopt;
        const std::optional<TrackMetadata> metadata = hasMetadata ? std::optional(TrackMetadata()) : std::nullopt;
        const TransportState state = transport == 1   ? TransportState::playing(3)
                                     : transport == 2 ? TransportState::paused(3)
                                                      : TransportState::idle();
        QCOMPARE(NowPlayingFormat::trackInfoForm(track, metadata, state), form);
    }

    void trackInfoLines_data()
    {
        QTest::addColumn<std::optional<QString>>("title");
        QTest::addColumn<std::optional<QString>>("artist");
        QTest::addColumn<std::optional<QString>>("album");
        QTest::addColumn<QString>("referenceTitle");
        QTest::addColumn<QString>("titleLine");
        QTest::addColumn<QString>("detailLine");
        const auto some = [](const char* text) { return std::optional<QString>(QString::fromUtf8(text)); };
        const std::optional<QString> none;
        QTest::newRow("all three") << some("Song") << some("Band") << some("Record") << u"song"_s << "Song"
                                   << QString::fromUtf8("Band \u2014 Record");
        QTest::newRow("artist alone") << some("Song") << some("Band") << none << u""_s << u"Song"_s << u"Band"_s;
        QTest::newRow("album alone") << some("Song") << none << some("Record") << u""_s << u"Song"_s << u"Record"_s;
        QTest::newRow("nothing") << none << none << none << u""_s << u"Unknown Title"_s << u""_s;
        QTest::newRow("empty title is shown verbatim") << some("") << none << none << u"song"_s << u""_s << u""_s;
        // Without a title tag the reference names the track, as its row does.
        QTest::newRow("untagged file") << none << none << none << u"take 3"_s << u"take 3"_s << u""_s;
        QTest::newRow("chip sub-track") << none << some("Composer") << some("Game") << u"Track 2"_s << u"Track 2"_s
                                        << QString::fromUtf8("Composer \u2014 Game");
        QTest::newRow("playlist entry's title")
            << none << none << none << u"Intro (Live)"_s << u"Intro (Live)"_s << u""_s;
    }
    void trackInfoLines()
    {
        QFETCH(std::optional<QString>, title);
        QFETCH(std::optional<QString>, artist);
        QFETCH(std::optional<QString>, album);
        QFETCH(QString, referenceTitle);
        QFETCH(QString, titleLine);
        QFETCH(QString, detailLine);
        TrackMetadata metadata;
        metadata.title = title;
        metadata.artist = artist;
        metadata.album = album;
        QCOMPARE(NowPlayingFormat::titleLine(metadata, TrackRef(u"A"_s, u"B"_s, referenceTitle)), titleLine);
        QCOMPARE(NowPlayingFormat::artistAlbumLine(metadata), detailLine);
    }

    void untitledNames_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("name");
        QTest::newRow("none") << QStringList{"Starred"} << "Untitled";
        QTest::newRow("Untitled taken") << QStringList{"Starred", "Untitled"} << "Untitled 2";
        QTest::newRow("Untitled and 2 taken") << QStringList{"Untitled", "Untitled 2"} << "Untitled 3";
        QTest::newRow("only 2 taken") << QStringList{"Untitled 2"} << "Untitled";
        QTest::newRow("other case does not count") << QStringList{"untitled"} << "Untitled";
    }
    void untitledNames()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, name);
        QCOMPARE(PlaylistOperations::firstFreeName(playlistsNamed(existing)), name);
    }
};

QTEST_GUILESS_MAIN(MainWindowDecisions)
#include "tst_mainwindowdecisions.moc"
