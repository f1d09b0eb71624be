#include "Parvik/M3UPlaylistFile.h"
#include "Parvik/M3UPlaylistFileError.h"
#include "Rasko/FileHint.h"

#include <QtTest>

#include <variant>

using namespace vessa;

using OptInt = std::optional<qint64>;

namespace {

// The playlist read from `data`, or the error text.
std::variant<Playlist, QString> import(const QByteArray& data, bool utf8Only = false)
{
    try {
        return M3UPlaylistFile::parse(data, QStringLiteral("Road Trip"), utf8Only, std::nullopt);
    } catch (const M3UPlaylistFileError& error) {
        return error.description();
    }
}

// "artist|title|seconds" of each entry.
QStringList refs(const QByteArray& data, bool utf8Only = false)
{
    QStringList result;
    const Playlist playlist = std::get<Playlist>(import(data, utf8Only));
    for (const PlaylistTrack& track : playlist.tracks) {
        const TrackRef& ref = track.ref;
        if (!ref.album().isEmpty() || ref.subTrackIndex())
            result << QStringLiteral("album or sub-track in ") + ref.uri();
        const OptInt seconds = ref.durationHint();
        result << ref.artist() + u'|' + ref.track() + u'|' + (seconds ? QString::number(*seconds) : QStringLiteral("-"));
    }
    return result;
}

} // namespace

class M3UPlaylistFileTest : public QObject {
    Q_OBJECT

private slots:
    // The whole file, then "artist|title|seconds" of each entry.
    void entries_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("entries");
        const auto row = [](const char* name, const char* text, QStringList entries) {
            QTest::newRow(name) << QByteArray(text) << entries;
        };
        row("example", "#EXTM3U\n#EXTINF:215,Artist - Title\nMusic/a.mp3\n", {"Artist|Title|215"});
        row("no information", "x/My Song.mp3\na.b.flac\nnoext\n", {"|My Song|-", "|a.b|-", "|noext|-"});
        row("minus one", "#EXTINF:-1,Radio\na.mp3", {"|Radio|-"});
        row("first dash only", "#EXTINF:1,A - B - C\na.mp3", {"A|B - C|1"});
        row("dash without spaces", "#EXTINF:1,A-B\na.mp3", {"|A-B|1"});
        row("nothing after comma", "#EXTINF:215,\na.mp3", {"|a|215"});
        row("space after comma", "#EXTINF:215, \na.mp3", {"|a|215"});
        row("no comma", "#EXTINF:123\na.mp3", {"|123|-"});
        row("comma right after tag", "#EXTINF:,Title\na.mp3", {"|,Title|-"});
        row("commas before duration", "#EXTINF:,,5,T\na.mp3", {"|T|5"});
        row("spaces around duration", "#EXTINF: \t42 ,  X - Y  \na.mp3", {"X|Y|42"});
        row("not a whole number", "#EXTINF:3.5,T\na.mp3", {"|T|-"});
        row("used once", "#EXTINF:1,One\na.mp3\nb.mp3\n", {"|One|1", "|b|-"});
        row("second replaces first", "#EXTINF:1,One\n#EXTINF:2,Two\na.mp3\n", {"|Two|2"});
        row("kept over blanks and comments", "#EXTINF:1,One\n\n   \n# note\n#EXTM3U\na.mp3\n", {"|One|1"});
        row("dropped by a remote line", "#EXTINF:1,One\nHTTPS://radio/x\na.mp3\n", {"|a|-"});
        row("other schemes are paths", "ftp://host/f.mp3\nfile:///m/b.ogg\n", {"|f|-", "|b|-"});
        row("CR LF and lower case", "#extm3u\r\n#extinf:5,A - B\r\nx/c.mp3\r\n", {"A|B|5"});
        row("NEL, U+2028 and padding", "#EXTINF:5,A - B\xE2\x80\xA8\t x/c.mp3 \xC2\xA0\xC2\x85", {"A|B|5"});
        row("UTF-8 with byte-order mark", "\xEF\xBB\xBF#EXTINF:3,Bj\xC3\xB6rk - J\xC3\xB3ga\nx.mp3", {"Bj\u00f6rk|J\u00f3ga|3"});
        row("Latin-1 after a byte-order mark", "\xEF\xBB\xBF#EXTINF:3,Bj\xF6rk - J\xF3ga\nx.mp3", {"Bj\u00f6rk|J\u00f3ga|3"});
    }

    void entries()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, entries);
        QCOMPARE(refs(text), entries);
    }

    void hints_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("resolved"); // against a playlist file in /P
        QTest::newRow("absolute") << "/Music/My Song.mp3" << "file:///Music/My%20Song.mp3" << "/Music/My Song.mp3";
        QTest::newRow("relative") << "Sub Dir/b.flac" << "file://Sub%20Dir/b.flac" << "/P/Sub Dir/b.flac";
        QTest::newRow("percent and non-ASCII") << "M\u00fcsic/100%.mp3" << "file://M%C3%BCsic/100%25.mp3"
                                               << "/P/M\u00fcsic/100%.mp3";
    }

    void hints()
    {
        QFETCH(QString, path);
        QFETCH(QString, hint);
        const Playlist p = std::get<Playlist>(import(QByteArray("#EXTINF:1,T\n") + path.toUtf8()));
        QCOMPARE(p.tracks.size(), 1);
        QCOMPARE(p.tracks[0].fileHint, hint);
        QTEST(FileHint::resolve(hint, QStringLiteral("/P/list.parvik")).value_or(QString()), "resolved");
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("utf8Only");
        QTest::addColumn<QString>("error");
        const QString empty = QStringLiteral("M3U file 'Road Trip' contains no tracks");
        QTest::newRow("remote only") << QByteArray("#EXTM3U\nhttp://a/b\nhttps://c/d\n") << false << empty;
        QTest::newRow("directives only") << QByteArray("#EXTM3U\n#EXTINF:1,T\n# note\n") << true << empty;
        QTest::newRow("byte-order mark only") << QByteArray("\xEF\xBB\xBF \r\n") << false << empty;
        QTest::newRow("Latin-1 in .m3u8") << QByteArray("Caf\xE9/s.mp3\n") << true
                                          << "M3U file 'Road Trip' is not valid UTF-8";
    }

    void refusals()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, utf8Only);
        QTEST(std::get<QString>(import(data, utf8Only)), "error");
    }
};

QTEST_GUILESS_MAIN(M3UPlaylistFileTest)
#include "tst_m3uplaylistfile.moc"
