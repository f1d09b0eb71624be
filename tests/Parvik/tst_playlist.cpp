#include "Parvik/M3UPlaylistFile.h"
#include "Parvik/M3UPlaylistFileError.h"
#include "Parvik/PlaylistFile.h"
#include "Parvik/PlaylistFileError.h"
#include "VessaCore/Error.h"
#include "tests/support/ParvikPrinting.h"

#include <QtTest>

#include <stdexcept>

using namespace vessa;
using namespace Qt::StringLiterals;

namespace {

// "abcd" -> the entries a, b, c, d without hints.
QList<PlaylistTrack> lettered(const QString& letters)
{
    QList<TrackRef> refs;
    for (const QChar letter : letters)
        refs.append(TrackRef(QString(letter)));
    return Playlist(u"p"_s, refs).tracks;
}

// Each entry read as "uri" or "uri|hint" ("vez:track:" left out), or the error's text.
template <typename Parse>
QStringList entries(Parse&& parse)
{
    try {
        QStringList lines;
        for (const PlaylistTrack& track : parse().tracks)
            lines << QString(track.ref.uri()).replace(QRegularExpression(u"^vez:track:"_s), {})
                         + (track.fileHint ? u'|' + *track.fileHint : QString());
        return lines;
    } catch (const Error& error) {
        return {error.description()};
    }
}

QStringList read(const QByteArray& data)
{
    return entries([&] { return PlaylistFile::parse(data, u"x"_s); });
}

QStringList import(const QByteArray& data, bool isUTF8Only = false)
{
    return entries([&] { return M3UPlaylistFile::parse(data, u"Road Trip"_s, isUTF8Only, std::nullopt); });
}

} // namespace

// The playlist model, the program's own file format and M3U import.
class PlaylistTest : public QObject {
    Q_OBJECT

private slots:
    void move_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("destination");
        QTest::addColumn<QString>("result"); // "": out of range, refused before anything changes
        QTest::newRow("onto itself") << 2 << 2 << "abcd";
        QTest::newRow("just below itself") << 2 << 3 << "abcd";
        QTest::newRow("last to front") << 3 << 0 << "dabc";
        QTest::newRow("up into the middle") << 3 << 1 << "adbc";
        QTest::newRow("first to end") << 0 << 4 << "bcda";
        QTest::newRow("down one") << 0 << 2 << "bacd";
        QTest::newRow("destination past end") << 1 << 5 << "";
        QTest::newRow("source at count") << 4 << 0 << "";
    }

    void move()
    {
        QFETCH(int, source);
        QFETCH(int, destination);
        QFETCH(QString, result);
        const Playlist original(u"p"_s, lettered(u"abcd"_s));
        Playlist p = original;
        if (result.isEmpty())
            QVERIFY_THROWS_EXCEPTION(std::out_of_range, p.move(source, destination));
        else
            p.move(source, destination);
        QCOMPARE(p.tracks, lettered(result.isEmpty() ? u"abcd"_s : result));
        QCOMPARE(original.tracks, lettered(u"abcd"_s)); // copies are independent
    }

    void editing()
    {
        Playlist p(u"p"_s, lettered(u"bb"_s));
        p.insert(TrackRef(u"a"_s), 0);
        p.insert(PlaylistTrack(TrackRef(u"d"_s), u""_s), p.tracks.size());
        p.append(TrackRef(u"a"_s));
        QVERIFY(p.contains(TrackRef(u"d"_s)) && !p.contains(TrackRef(u"D"_s)));
        QCOMPARE(p.remove(3), PlaylistTrack(TrackRef(u"d"_s), u""_s));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, p.insert(TrackRef(u"x"_s), 5));
        QCOMPARE(p.tracks, lettered(u"abba"_s));
    }

    // No hint, an empty hint and a hint are three different values.
    void equalityAndHashing()
    {
        const TrackRef r(u"vez:track:x::y"_s);
        const PlaylistTrack noHint(r), emptyHint(r, u""_s), hinted(r, u"file://y.mp3"_s);
        QVERIFY(hinted != PlaylistTrack(TrackRef(u"vez:track:x::z"_s), *hinted.fileHint));
        QCOMPARE(qHash(hinted, 7), qHash(PlaylistTrack(r, u"file://y.mp3"_s), 7));
        const QSet<PlaylistTrack> set{noHint, emptyHint, hinted, PlaylistTrack(r)};
        QCOMPARE(set.size(), 3);
        QVERIFY(set.contains(PlaylistTrack(r, u""_s)));
    }

    void emptyPlaylistIsThirteenBytes()
    {
        const QByteArray bytes = PlaylistFile::serialize(Playlist(u"Empty"_s, QList<PlaylistTrack>()));
        QCOMPARE(bytes, QByteArray("#parvik:2\t{}\n"));
        QCOMPARE(bytes.size(), 13);
        QCOMPARE(read(bytes), QStringList());
    }

    // The first line (and what comes before it), then the entry line "a TAB b".
    void headers_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QStringList>("expected");
        for (const char* header :
             {"#parvik:2\t{}", "#parvik:2", "#parvik:2 {}", "#parvik:\t\t2\t{\"a\":\t1} x", "\xEF\xBB\xBF#parvik:+2"})
            QTest::newRow(header) << QByteArray(header) << QStringList{"a|b"};
        for (const char* header : {"#parvik:1\t{}", "#parvik:0", "#parvik:-7 {}"})
            QTest::newRow(header) << QByteArray(header) << QStringList{"a\tb"};
        QTest::newRow("version 3") << QByteArray("#parvik:3\t{}")
                                   << QStringList{"Unsupported playlist file version: 3 (this app supports up to "
                                                  "version 2)"};
        for (const char* line : {"#parvik:", "#parvik:word", "#parvik:2.0", "#parvik:\t\t", "#parvik: 2\t{}",
                                 "#parvik:99999999999999999999", "#parvik:\xD9\xA2"})
            QTest::newRow(line) << QByteArray(line)
                                << QStringList{u"Malformed playlist header: '%1' (expected "
                                               "'#parvik:<version>\\t<json>')"_s.arg(QString::fromUtf8(line))};
        // Not UTF-8, or no header at the very start: one error for both.
        for (const char* line : {"", "\n#parvik:2", " #parvik:2", "#PARVIK:2", "hello", "#parvik:2\ncaf\xE9",
                                 "#parvik:2\n\xED\xA0\x80", "#parvik:2\n\xC0\xAF", "#parvik:2\nx\xE2\x82"})
            QTest::newRow(QByteArray(line).toHex().constData())
                << QByteArray(line) << QStringList{"Playlist file is empty or missing the #parvik header"};
    }

    void headers()
    {
        QFETCH(QByteArray, header);
        QTEST(read(header + "\na\tb\n"), "expected");
    }

    // Every line-break character ends a line; spaces and tabs around entries
    // go; blank lines and "#" lines are skipped; the first TAB splits off the hint.
    void entryLines()
    {
        const QByteArray text("#parvik:2\t{}\r\n\n   \t \x0b# a comment\x0c  \t#indented\r  a  \xC2\x85"
                              "\t\tb\tfile:///b.mp3 \t\xE2\x80\xA8u\t\th\xE2\x80\xA9v\t\nw\t h x\n"
                              "\xC2\xA0\xE3\x80\x80nbsp\xE2\x80\x83\n\xE2\x80\x8Bzw\n");
        // U+200B is a format character, not a space.
        QCOMPARE(read(text), (QStringList{"a", "b|file:///b.mp3", "u|\th", "v", "w| h x", "nbsp", "\u200bzw"}));
    }

    // Everything survives writing and reading, except an empty hint, spaces
    // and tabs at the ends, and an entry whose URI begins with "#".
    void roundTrip()
    {
        const Playlist p(u"Trip"_s, {PlaylistTrack(TrackRef(u"vez:track:A:B:C:215#2"_s)),
                                     PlaylistTrack(TrackRef(u"u"_s)),
                                     {TrackRef(u"\U0001F3B5::y"_s), u"file:///M%C3%BCsic/x"_s},
                                     {TrackRef(u"a"_s), u""_s},
                                     {TrackRef(u" b"_s), u"h \t"_s},
                                     PlaylistTrack(TrackRef(u"#c"_s))});
        QCOMPARE(read(PlaylistFile::serialize(p)),
                 (QStringList{"A:B:C:215#2", "u", "\U0001F3B5::y|file:///M%C3%BCsic/x", "a", "b|h"}));
    }

    void m3uEntries_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("entries"); // "artist:album:title[:seconds]|hint", or the error
        const auto row = [](const char* name, const char* text, QStringList expected) {
            QTest::newRow(name) << QByteArray(text) << expected;
        };
        row("example", "#EXTM3U\n#EXTINF:215,Artist - Title\nMusic/a.mp3\n", {"Artist::Title:215|file://Music/a.mp3"});
        row("no information", "x/My Song.mp3\na.b.flac\n",
            {"::My%20Song|file://x/My%20Song.mp3", "::a.b|file://a.b.flac"});
        row("minus one", "#EXTINF:-1,Radio\n/a.mp3", {"::Radio|file:///a.mp3"});
        row("first dash only", "#EXTINF:1,A - B - C\na", {"A::B%20-%20C:1|file://a"});
        row("dash without spaces", "#EXTINF:1,A-B\na", {"::A-B:1|file://a"});
        row("nothing after comma", "#EXTINF:215,\na.mp3", {"::a:215|file://a.mp3"});
        row("space after comma", "#EXTINF:215, \na.mp3", {"::a:215|file://a.mp3"});
        row("no comma", "#EXTINF:123\na", {"::123|file://a"});
        row("comma right after tag", "#EXTINF:,,Title\na", {"::,,Title|file://a"});
        row("second replaces first", "#EXTINF:1,One\n#EXTINF:2,Two\na\n", {"::Two:2|file://a"});
        row("kept over blanks, comments", "#EXTINF:1,One\n\n   \n# note\n#EXTM3U\na\n", {"::One:1|file://a"});
        row("dropped by a remote line", "#EXTINF:1,One\nHTTPS://radio/x\na\n", {"::a|file://a"});
        row("other schemes are paths", "ftp://h/f.mp3\n", {"::f|file://ftp://h/f.mp3"});
        row("CR LF and lower case", "#extm3u\r\n#extinf:5,A - B\r\nc\r\n", {"A::B:5|file://c"});
        row("NEL, U+2028, padding", "#EXTINF:5,A - B\xE2\x80\xA8\t c \xC2\xA0\xC2\x85", {"A::B:5|file://c"});
        row("byte-order mark", "\xEF\xBB\xBF#EXTINF:3,Bj\xC3\xB6rk - J\xC3\xB3ga\nx",
            {"Bj%C3%B6rk::J%C3%B3ga:3|file://x"});
        row("Latin-1", "#EXTINF:3,Bj\xF6rk - J\xF3ga\nCaf\xE9/s.mp3",
            {"Bj%C3%B6rk::J%C3%B3ga:3|file://Caf%C3%A9/s.mp3"});
        row("absolute path", "/Music/My Song.mp3", {"::My%20Song|file:///Music/My%20Song.mp3"});
        // Errors.
        row("remote only", "#EXTM3U\nhttp://a/b\nhttps://c/d\n", {"M3U file 'Road Trip' contains no tracks"});
        row("directives only", "#EXTM3U\n#EXTINF:1,T\n# note\n", {"M3U file 'Road Trip' contains no tracks"});
        row("byte-order mark only", "\xEF\xBB\xBF \r\n", {"M3U file 'Road Trip' contains no tracks"});
    }

    void m3uEntries()
    {
        QFETCH(QByteArray, text);
        QTEST(import(text), "entries");
    }

    void latin1IsRefusedForM3U8()
    {
        QCOMPARE(import("Caf\xE9/s.mp3\n", true), QStringList{"M3U file 'Road Trip' is not valid UTF-8"});
        QCOMPARE(import("Caf\xC3\xA9/s.mp3\n", true), QStringList{"::s|file://Caf%C3%A9/s.mp3"});
    }
};

QTEST_GUILESS_MAIN(PlaylistTest)
#include "tst_playlist.moc"
