#include "Parvik/M3UPlaylistFile.h"
#include "Parvik/M3UPlaylistFileError.h"
#include "Rasko/FileHint.h"

#include <QtTest>

using namespace vessa;

using OptInt = std::optional<qint64>;
Q_DECLARE_METATYPE(OptInt)

namespace {

Playlist parse(const QString& text)
{
    return M3UPlaylistFile::parse(text, QStringLiteral("Mix"), std::nullopt);
}

QString importError(const QByteArray& data, bool utf8Only)
{
    try {
        M3UPlaylistFile::parse(data, QStringLiteral("Road Trip"), utf8Only, std::nullopt);
    } catch (const M3UPlaylistFileError& error) {
        return error.description();
    }
    return QString();
}

} // namespace

class M3UPlaylistFileTest : public QObject {
    Q_OBJECT

private slots:
    void extinf_data();
    void extinf();
    void pendingInformation_data();
    void pendingInformation();
    void hints_data();
    void hints();
    void lineBreaksAndCase();
    void emptyFiles_data();
    void emptyFiles();
    void encodings();
};

void M3UPlaylistFileTest::extinf_data()
{
    QTest::addColumn<QString>("extinf");
    QTest::addColumn<QString>("artist");
    QTest::addColumn<QString>("title");
    QTest::addColumn<OptInt>("duration");

    QTest::newRow("artist and title") << "#EXTINF:215,Artist - Title" << "Artist" << "Title" << OptInt(215);
    QTest::newRow("minus one") << "#EXTINF:-1,Radio" << "" << "Radio" << OptInt();
    QTest::newRow("negative") << "#EXTINF:-20,Radio" << "" << "Radio" << OptInt();
    QTest::newRow("first dash only") << "#EXTINF:1,A - B - C" << "A" << "B - C" << OptInt(1);
    QTest::newRow("dash without spaces") << "#EXTINF:1,A-B" << "" << "A-B" << OptInt(1);
    QTest::newRow("dash at start") << "#EXTINF:1, - Song" << "" << "- Song" << OptInt(1);
    QTest::newRow("inner dash") << "#EXTINF:1,x  - Song" << "x " << "Song" << OptInt(1);
    QTest::newRow("nothing after comma") << "#EXTINF:215," << "" << "a" << OptInt(215);
    QTest::newRow("space after comma") << "#EXTINF:215, " << "" << "a" << OptInt(215);
    QTest::newRow("no comma") << "#EXTINF:123" << "" << "123" << OptInt();
    QTest::newRow("comma right after tag") << "#EXTINF:,Title" << "" << ",Title" << OptInt();
    QTest::newRow("only a comma") << "#EXTINF:," << "" << "," << OptInt();
    QTest::newRow("commas before duration") << "#EXTINF:,,5,T" << "" << "T" << OptInt(5);
    QTest::newRow("spaces around duration") << "#EXTINF: \t42 ,  X - Y  " << "X" << "Y" << OptInt(42);
    QTest::newRow("second comma kept") << "#EXTINF:7,,Title" << "" << ",Title" << OptInt(7);
    QTest::newRow("attributes are no number") << "#EXTINF:0 tvg-id=\"x\",Ch - Show" << "Ch" << "Show" << OptInt();
    QTest::newRow("decimal seconds") << "#EXTINF:3.5,T" << "" << "T" << OptInt();
    QTest::newRow("huge duration") << "#EXTINF:99999999999999999999,T" << "" << "T" << OptInt();
    QTest::newRow("zero") << "#EXTINF:0,T" << "" << "T" << OptInt(0);
    QTest::newRow("plus sign") << "#EXTINF:+9,T" << "" << "T" << OptInt(9);
    QTest::newRow("lower-case tag") << "#extinf:8,l - t" << "l" << "t" << OptInt(8);
    QTest::newRow("empty") << "#EXTINF:" << "" << "a" << OptInt();
}

void M3UPlaylistFileTest::extinf()
{
    QFETCH(QString, extinf);
    QFETCH(QString, artist);
    QFETCH(QString, title);
    QFETCH(OptInt, duration);
    const Playlist p = parse(extinf + QStringLiteral("\nmusic/a.mp3\n"));
    QCOMPARE(p.tracks.size(), 1);
    const TrackRef& ref = p.tracks[0].ref;
    QCOMPARE(ref, TrackRef(artist, QString(), title, duration, std::nullopt));
    QCOMPARE(ref.artist(), artist);
    QCOMPARE(ref.track(), title);
    QCOMPARE(ref.album(), QString());
    QCOMPARE(ref.durationHint(), duration);
    QCOMPARE(ref.subTrackIndex(), std::nullopt);
}

void M3UPlaylistFileTest::pendingInformation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("example") << "#EXTM3U\n#EXTINF:215,Artist - Title\nMusic/a.mp3\n" << QStringList{"Title"};
    QTest::newRow("no information") << "x/My Song.mp3\n" << QStringList{"My Song"};
    QTest::newRow("used once") << "#EXTINF:1,One\na.mp3\nb.mp3\n" << QStringList{"One", "b"};
    QTest::newRow("second replaces first") << "#EXTINF:1,One\n#EXTINF:2,Two\na.mp3\n" << QStringList{"Two"};
    QTest::newRow("kept over blanks, comments and headers")
        << "#EXTINF:1,One\n\n   \n# note\n#EXTVLCOPT:x\n#EXTM3U\na.mp3\n" << QStringList{"One"};
    QTest::newRow("dropped by a remote line") << "#EXTINF:1,One\nhttp://radio/x\na.mp3\n" << QStringList{"a"};
    QTest::newRow("remote in capitals") << "#EXTINF:1,One\nHTTPS://radio/x\na.mp3\n" << QStringList{"a"};
    QTest::newRow("other schemes are paths") << "ftp://host/f.mp3\nfile:///m/b.ogg\n" << QStringList{"f", "b"};
    QTest::newRow("last extension only") << "a.b.flac\nnoext\n.hidden\ndir/\n" << QStringList{"a.b", "noext", ".hidden", "dir"};
    QTest::newRow("header anywhere") << "a.mp3\n#EXTM3U\n#extm3u\nb.mp3\n" << QStringList{"a", "b"};
}

void M3UPlaylistFileTest::pendingInformation()
{
    QFETCH(QString, text);
    QFETCH(QStringList, titles);
    QStringList read;
    for (const PlaylistTrack& track : parse(text).tracks)
        read.append(track.ref.track());
    QCOMPARE(read, titles);
}

void M3UPlaylistFileTest::hints_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QString>("resolved"); // against a playlist file in /P
    QTest::newRow("absolute") << "/Music/My Song.mp3" << "file:///Music/My%20Song.mp3" << "/Music/My Song.mp3";
    QTest::newRow("relative") << "Sub Dir/b.flac" << "file://Sub%20Dir/b.flac" << "/P/Sub Dir/b.flac";
    QTest::newRow("percent and non-ASCII") << "M\u00fcsic/100%.mp3" << "file://M%C3%BCsic/100%25.mp3"
                                           << "/P/M\u00fcsic/100%.mp3";
    QTest::newRow("parent folder") << "../x.mp3" << "file://../x.mp3" << "/x.mp3";
}

void M3UPlaylistFileTest::hints()
{
    QFETCH(QString, path);
    QFETCH(QString, hint);
    QFETCH(QString, resolved);
    const Playlist p = parse(QStringLiteral("#EXTINF:1,T\n") + path + u'\n');
    QCOMPARE(p.tracks.size(), 1);
    QCOMPARE(p.tracks[0].fileHint, hint);
    const std::optional<QString> target = FileHint::resolve(hint, QStringLiteral("/P/list.parvik"));
    QVERIFY(target);
    QCOMPARE(QDir::cleanPath(*target), resolved);
}

void M3UPlaylistFileTest::lineBreaksAndCase()
{
    const Playlist lf = parse(QStringLiteral("#EXTM3U\n#EXTINF:5,A - B\nx/c.mp3\n"));
    for (const QString& text : {QStringLiteral("#extm3u\r\n#ExtInf:5,A - B\r\nx/c.mp3\r\n"),
                                QStringLiteral("#EXTM3U\u2028#EXTINF:5,A - B\u0085x/c.mp3"),
                                QStringLiteral("  #EXTM3U \r#EXTINF:5,A - B\t\r\t x/c.mp3 \u00a0\r")}) {
        const Playlist other = parse(text);
        QCOMPARE(other.tracks, lf.tracks);
    }
    QCOMPARE(lf.name, QStringLiteral("Mix"));
    QCOMPARE(lf.tracks[0].fileHint, QStringLiteral("file://x/c.mp3"));
}

void M3UPlaylistFileTest::emptyFiles_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("remote only") << QByteArray("#EXTM3U\nhttp://a/b\nhttps://c/d\n");
    QTest::newRow("directives only") << QByteArray("#EXTM3U\n#EXTINF:1,T\n# note\n");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("blank") << QByteArray(" \r\n\t\n");
    QTest::newRow("byte-order mark only") << QByteArray("\xEF\xBB\xBF");
}

void M3UPlaylistFileTest::emptyFiles()
{
    QFETCH(QByteArray, data);
    QCOMPARE(importError(data, false), QStringLiteral("M3U file 'Road Trip' contains no tracks"));
    QCOMPARE(importError(data, true), QStringLiteral("M3U file 'Road Trip' contains no tracks"));
}

void M3UPlaylistFileTest::encodings()
{
    // Latin-1 bytes: accepted from .m3u, refused from .m3u8.
    const QByteArray latin1("#EXTINF:3,Bj\xF6rk - J\xF3ga\nCaf\xE9/s.mp3\n");
    QCOMPARE(importError(latin1, true), QStringLiteral("M3U file 'Road Trip' is not valid UTF-8"));
    const Playlist p = M3UPlaylistFile::parse(latin1, QStringLiteral("Road Trip"), false, std::nullopt);
    QCOMPARE(p.tracks.size(), 1);
    QCOMPARE(p.tracks[0].ref.artist(), QStringLiteral("Bj\u00f6rk"));
    QCOMPARE(p.tracks[0].ref.track(), QStringLiteral("J\u00f3ga"));
    QCOMPARE(p.tracks[0].fileHint, QStringLiteral("file://Caf%C3%A9/s.mp3"));

    // Valid UTF-8 is never read as Latin-1, and a byte-order mark is no path.
    const QByteArray utf8("\xEF\xBB\xBF#EXTINF:3,Bj\xC3\xB6rk - J\xC3\xB3ga\nx.mp3\n");
    for (const bool utf8Only : {false, true}) {
        const Playlist q = M3UPlaylistFile::parse(utf8, QStringLiteral("n"), utf8Only, std::nullopt);
        QCOMPARE(q.tracks.size(), 1);
        QCOMPARE(q.tracks[0].ref.artist(), QStringLiteral("Bj\u00f6rk"));
    }
    // A byte-order mark before bytes that are not UTF-8 is not read as text either.
    const Playlist r = M3UPlaylistFile::parse(QByteArray("\xEF\xBB\xBF#EXTM3U\n\xE9.mp3\n"), QStringLiteral("n"), false,
                                              std::nullopt);
    QCOMPARE(r.tracks.size(), 1);
    QCOMPARE(r.tracks[0].ref.track(), QStringLiteral("\u00e9"));
}

QTEST_GUILESS_MAIN(M3UPlaylistFileTest)
#include "tst_m3uplaylistfile.moc"
