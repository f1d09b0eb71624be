#include "Parvik/PlaylistFile.h"
#include "Parvik/PlaylistFileError.h"
#include "tests/support/ParvikPrinting.h"

#include <QtTest>

using namespace vessa;
using namespace Qt::StringLiterals;

namespace {

PlaylistTrack entry(const QString& uri, std::optional<QString> hint = std::nullopt)
{
    return PlaylistTrack(TrackRef(uri), std::move(hint));
}

// The entries read, or the error text.
QVariant read(const QByteArray& data)
{
    try {
        return QVariant::fromValue(PlaylistFile::parse(data, u"x"_s).tracks);
    } catch (const PlaylistFileError& error) {
        return error.description();
    }
}

} // namespace

class PlaylistFileTest : public QObject {
    Q_OBJECT

private slots:
    void emptyPlaylistIsThirteenBytes()
    {
        const QByteArray bytes = PlaylistFile::serialize(Playlist(u"Empty"_s, QList<PlaylistTrack>()));
        QCOMPARE(bytes, QByteArray("#parvik:2\t{}\n"));
        QCOMPARE(bytes.size(), 13);
        QCOMPARE(read(bytes).value<QList<PlaylistTrack>>(), QList<PlaylistTrack>());
    }

    // The first line (and what comes before it), then the entry line "a TAB b".
    void headers_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("error"); // "": it reads, with hints from version 2 on
        QTest::addColumn<bool>("readsHints");
        for (const char* header : {"#parvik:2\t{}", "#parvik:2", "#parvik:2 {}", "#parvik:\t\t2\t{\"a\":\t1} x",
                                   "\xEF\xBB\xBF#parvik:+2"})
            QTest::newRow(header) << QByteArray(header) << QString() << true;
        for (const char* header : {"#parvik:1\t{}", "#parvik:0", "#parvik:-7 {}"})
            QTest::newRow(header) << QByteArray(header) << QString() << false;
        QTest::newRow("version 3") << QByteArray("#parvik:3\t{}")
                                   << "Unsupported playlist file version: 3 (this app supports up to version 2)" << false;
        for (const char* line : {"#parvik:", "#parvik:word", "#parvik:2.0", "#parvik:\t\t", "#parvik: 2\t{}",
                                 "#parvik:99999999999999999999", "#parvik:\xD9\xA2"})
            QTest::newRow(line) << QByteArray(line)
                                << u"Malformed playlist header: '%1' (expected '#parvik:<version>\\t<json>')"_s.arg(
                                       QString::fromUtf8(line))
                                << false;
        // Not UTF-8, or no header at the very start: one error for both.
        for (const char* line : {"", "\n#parvik:2", " #parvik:2", "#PARVIK:2", "hello", "#parvik:2\ncaf\xE9",
                                 "#parvik:2\n\xED\xA0\x80", "#parvik:2\n\xC0\xAF", "#parvik:2\nx\xE2\x82"})
            QTest::newRow(QByteArray(line).toHex().constData()) << QByteArray(line)
                                                    << u"Playlist file is empty or missing the #parvik header"_s << false;
    }

    void headers()
    {
        QFETCH(QByteArray, header);
        QFETCH(QString, error);
        QFETCH(bool, readsHints);
        const QVariant result = read(header + "\na\tb\n");
        if (!error.isEmpty())
            QCOMPARE(result.toString(), error);
        else
            QCOMPARE(result.value<QList<PlaylistTrack>>(),
                     QList<PlaylistTrack>{readsHints ? entry(u"a"_s, u"b"_s) : entry(u"a\tb"_s)});
    }

    // Every line-break character ends a line; spaces and tabs around entries
    // go; blank lines and "#" lines are skipped; the first TAB splits off the hint.
    void entryLines()
    {
        const QByteArray text("#parvik:2\t{}\r\n\n   \t \x0b# a comment\x0c  \t#indented\r  a  \xC2\x85"
                              "\t\tb\tfile:///b.mp3 \t\xE2\x80\xA8u\t\th\xE2\x80\xA9v\t\nw\t h x\n"
                              "\xC2\xA0\xE3\x80\x80nbsp\xE2\x80\x83\n\xE2\x80\x8Bzw\n");
        QCOMPARE(read(text).value<QList<PlaylistTrack>>(),
                 (QList<PlaylistTrack>{entry(u"a"_s), entry(u"b"_s, u"file:///b.mp3"_s), entry(u"u"_s, u"\th"_s),
                                       entry(u"v"_s), entry(u"w"_s, u" h x"_s), entry(u"nbsp"_s),
                                       entry(u"\u200bzw"_s)})); // a format character, not a space
    }

    // Everything survives writing and reading, except an empty hint, spaces
    // and tabs at the ends, and an entry whose URI begins with "#".
    void roundTrip()
    {
        const QString uri = u"vez:track:A:B:C:215#2"_s;
        const PlaylistTrack hinted = entry(u"vez:track:\U0001F3B5::y"_s, u"file:///M%C3%BCsic/x"_s);
        const Playlist p(u"Trip"_s, {entry(uri), entry(uri), hinted, entry(u"a"_s, u""_s), entry(u" b"_s, u"h \t"_s),
                                     entry(u"#c"_s)});
        const Playlist back = PlaylistFile::parse(PlaylistFile::serialize(p), p.name);
        QCOMPARE(back.name, p.name);
        QCOMPARE(back.tracks, (QList<PlaylistTrack>{entry(uri), entry(uri), hinted, entry(u"a"_s), entry(u"b"_s, u"h"_s)}));
    }
};

QTEST_GUILESS_MAIN(PlaylistFileTest)
#include "tst_playlistfile.moc"
