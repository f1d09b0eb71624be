#include "Parvik/M3UPlaylistFile.h"
#include "Parvik/M3UPlaylistFileError.h"
#include "Rasko/FileHint.h"

#include <QtTest>

using namespace vessa;
using namespace Qt::StringLiterals;

namespace {

// Each entry as "artist|title|seconds|hint" (the album is always empty), or the error text.
QStringList import(const QByteArray& data, bool utf8Only = false)
{
    try {
        QStringList result;
        for (const PlaylistTrack& track : M3UPlaylistFile::parse(data, u"Road Trip"_s, utf8Only, std::nullopt).tracks) {
            const TrackRef& ref = track.ref;
            const std::optional<qint64> seconds = ref.durationHint();
            result << QStringList{ref.artist(), ref.track(), seconds ? QString::number(*seconds) : "-",
                                  track.fileHint.value_or("none")}
                          .join(u'|');
        }
        return result;
    } catch (const M3UPlaylistFileError& error) {
        return {error.description()};
    }
}

} // namespace

class M3UPlaylistFileTest : public QObject {
    Q_OBJECT

private slots:
    void entries_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("entries");
        const auto row = [](const char* name, const char* text, QStringList expected) {
            QTest::newRow(name) << QByteArray(text) << expected;
        };
        row("example", "#EXTM3U\n#EXTINF:215,Artist - Title\nMusic/a.mp3\n", {"Artist|Title|215|file://Music/a.mp3"});
        row("no information", "x/My Song.mp3\na.b.flac\n", {"|My Song|-|file://x/My%20Song.mp3", "|a.b|-|file://a.b.flac"});
        row("minus one", "#EXTINF:-1,Radio\n/a.mp3", {"|Radio|-|file:///a.mp3"});
        row("first dash only", "#EXTINF:1,A - B - C\na", {"A|B - C|1|file://a"});
        row("dash without spaces", "#EXTINF:1,A-B\na", {"|A-B|1|file://a"});
        row("nothing after comma", "#EXTINF:215,\na.mp3", {"|a|215|file://a.mp3"});
        row("space after comma", "#EXTINF:215, \na.mp3", {"|a|215|file://a.mp3"});
        row("no comma", "#EXTINF:123\na", {"|123|-|file://a"});
        row("comma right after tag", "#EXTINF:,,Title\na", {"|,,Title|-|file://a"});
        row("spaces around duration", "#EXTINF: \t42 ,  X - Y  \na", {"X|Y|42|file://a"});
        row("not a whole number", "#EXTINF:3.5,T\na", {"|T|-|file://a"});
        row("used once", "#EXTINF:1,One\na\nb\n", {"|One|1|file://a", "|b|-|file://b"});
        row("second replaces first", "#EXTINF:1,One\n#EXTINF:2,Two\na\n", {"|Two|2|file://a"});
        row("kept over blanks and comments", "#EXTINF:1,One\n\n   \n# note\n#EXTM3U\na\n", {"|One|1|file://a"});
        row("dropped by a remote line", "#EXTINF:1,One\nHTTPS://radio/x\na\n", {"|a|-|file://a"});
        row("other schemes are paths", "ftp://h/f.mp3\n", {"|f|-|file://ftp://h/f.mp3"});
        row("CR LF and lower case", "#extm3u\r\n#extinf:5,A - B\r\nc\r\n", {"A|B|5|file://c"});
        row("NEL, U+2028 and padding", "#EXTINF:5,A - B\xE2\x80\xA8\t c \xC2\xA0\xC2\x85", {"A|B|5|file://c"});
        row("UTF-8 with byte-order mark", "\xEF\xBB\xBF#EXTINF:3,Bj\xC3\xB6rk - J\xC3\xB3ga\nx", {"Bj\u00f6rk|J\u00f3ga|3|file://x"});
        row("Latin-1", "#EXTINF:3,Bj\xF6rk - J\xF3ga\nCaf\xE9/s.mp3", {"Bj\u00f6rk|J\u00f3ga|3|file://Caf%C3%A9/s.mp3"});
        row("absolute path", "/Music/My Song.mp3", {"|My Song|-|file:///Music/My%20Song.mp3"});
        row("percent and non-ASCII", "M\xC3\xBCsic/100%.mp3", {"|100%|-|file://M%C3%BCsic/100%25.mp3"});
        // Errors.
        row("remote only", "#EXTM3U\nhttp://a/b\nhttps://c/d\n", {"M3U file 'Road Trip' contains no tracks"});
        row("directives only", "#EXTM3U\n#EXTINF:1,T\n# note\n", {"M3U file 'Road Trip' contains no tracks"});
        row("byte-order mark only", "\xEF\xBB\xBF \r\n", {"M3U file 'Road Trip' contains no tracks"});
    }

    void entries()
    {
        QFETCH(QByteArray, text);
        QTEST(import(text), "entries");
    }

    void latin1IsRefusedForM3U8()
    {
        QCOMPARE(import("Caf\xE9/s.mp3\n", true), QStringList{"M3U file 'Road Trip' is not valid UTF-8"});
        QCOMPARE(import("Caf\xC3\xA9/s.mp3\n", true), QStringList{"|s|-|file://Caf%C3%A9/s.mp3"});
    }

    // Readers of the hints find the files again.
    void hintsResolve()
    {
        const QString playlist = u"/P/list.m3u"_s;
        QCOMPARE(FileHint::resolve(u"file:///Music/My%20Song.mp3"_s, playlist), u"/Music/My Song.mp3"_s);
        QCOMPARE(FileHint::resolve(u"file://Sub%20Dir/b.flac"_s, playlist), u"/P/Sub Dir/b.flac"_s);
    }
};

QTEST_GUILESS_MAIN(M3UPlaylistFileTest)
#include "tst_m3uplaylistfile.moc"
