#include "Parvik/PlaylistFile.h"
#include "Parvik/PlaylistFileError.h"
#include "tests/support/ParvikPrinting.h"

#include <QtTest>

using namespace vessa;

namespace {

PlaylistTrack entry(const QString& uri, std::optional<QString> hint = std::nullopt)
{
    return PlaylistTrack(TrackRef(uri), std::move(hint));
}

// The entries read, or the error text.
QVariant read(const QByteArray& data)
{
    try {
        return QVariant::fromValue(PlaylistFile::parse(data, QStringLiteral("x")).tracks);
    } catch (const PlaylistFileError& error) {
        return error.description();
    }
}

const QString missingHeader = QStringLiteral("Playlist file is empty or missing the #parvik header");

} // namespace

class PlaylistFileTest : public QObject {
    Q_OBJECT

private slots:
    void writer()
    {
        const QByteArray empty = PlaylistFile::serialize(Playlist(QStringLiteral("E"), QList<PlaylistTrack>()));
        QCOMPARE(empty, QByteArray("#parvik:2\t{}\n"));
        QCOMPARE(empty.size(), 13);
        QVERIFY(PlaylistFile::parse(empty, QStringLiteral("E")).tracks.isEmpty());
        const Playlist p(QStringLiteral("Not written"),
                         QList<PlaylistTrack>{entry(QStringLiteral("vez:track:A:B:C:215")),
                                              entry(QStringLiteral("vez:track:A::D"), QStringLiteral("file://S%20D/d.flac")),
                                              entry(QStringLiteral("u"), QString()), entry(QStringLiteral("\u00e9"))});
        QCOMPARE(PlaylistFile::serialize(p), QByteArray("#parvik:2\t{}\nvez:track:A:B:C:215\n"
                                                        "vez:track:A::D\tfile://S%20D/d.flac\nu\t\n\xC3\xA9\n"));
    }

    // The first line (and anything before it), then "a TAB b" as an entry.
    void headers_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("error"); // "" when it reads
        QTest::addColumn<bool>("readsHints");
        const auto reads = [](const char* row, const char* header, bool hints) {
            QTest::newRow(row) << QByteArray(header) << QString() << hints;
        };
        reads("written form", "#parvik:2\t{}", true);
        reads("version alone", "#parvik:2", true);
        reads("space separator", "#parvik:2 {}", true);
        reads("separators before version", "#parvik:\t\t2\t{\"a\":\t1} x", true);
        reads("byte-order mark", "\xEF\xBB\xBF#parvik:+2", true);
        reads("version 1", "#parvik:1\t{}", false);
        reads("negative version", "#parvik:-7 {}", false);
        QTest::newRow("version 3") << QByteArray("#parvik:3\t{}")
                                   << "Unsupported playlist file version: 3 (this app supports up to version 2)" << false;
        for (const char* line : {"#parvik:", "#parvik:word", "#parvik:2.0", "#parvik:\t\t", "#parvik: 2\t{}",
                                 "#parvik:99999999999999999999", "#parvik:\xD9\xA2"})
            QTest::newRow(line) << QByteArray(line)
                                << QStringLiteral("Malformed playlist header: '%1' (expected '#parvik:<version>\\t<json>')")
                                       .arg(QString::fromUtf8(line))
                                << false;
        for (const char* line : {"", "\n#parvik:2", " #parvik:2", "#PARVIK:2", "hello", "#parvik:2\ncaf\xE9",
                                 "#parvik:2\n\xED\xA0\x80", "#parvik:2\n\xC0\xAF", "#parvik:2\nx\xE2\x82"})
            QTest::newRow(qPrintable(QStringLiteral("missing '%1'").arg(QString::fromLatin1(line)))) << QByteArray(line)
                                                                                                  << missingHeader << false;
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
                     QList<PlaylistTrack>{readsHints ? entry(QStringLiteral("a"), QStringLiteral("b"))
                                                     : entry(QStringLiteral("a\tb"))});
    }

    void lineBreaks_data()
    {
        QTest::addColumn<QString>("lineBreak");
        for (const char* lineBreak : {"\r\n", "\r", "\v", "\f", "\u0085", "\u2028", "\u2029"})
            QTest::newRow(qPrintable(QString::fromUtf8(lineBreak).toUtf8().toHex())) << QString::fromUtf8(lineBreak);
    }

    void lineBreaks()
    {
        QFETCH(QString, lineBreak);
        const QString text = QStringList{QStringLiteral("#parvik:2\t{}"), QStringLiteral("u1"), QStringLiteral("u2\th2"),
                                         QString()}
                                 .join(lineBreak);
        QCOMPARE(PlaylistFile::parse(text, QStringLiteral("x")).tracks,
                 (QList<PlaylistTrack>{entry(QStringLiteral("u1")), entry(QStringLiteral("u2"), QStringLiteral("h2"))}));
    }

    void entryLines()
    {
        const QByteArray text("#parvik:2\t{}\n\n   \t \n# a comment\n  \t#indented\n  a  \n\t\tb\tfile:///b.mp3 \t\n"
                              "u\t\th\nv\t\nw\t h x\n\xC2\xA0\xE3\x80\x80nbsp\xE2\x80\x83\n\xE2\x80\x8Bzw\n");
        QCOMPARE(read(text).value<QList<PlaylistTrack>>(),
                 (QList<PlaylistTrack>{entry(QStringLiteral("a")), entry(QStringLiteral("b"), QStringLiteral("file:///b.mp3")),
                                       entry(QStringLiteral("u"), QStringLiteral("\th")), entry(QStringLiteral("v")),
                                       entry(QStringLiteral("w"), QStringLiteral(" h x")), entry(QStringLiteral("nbsp")),
                                       entry(QStringLiteral("\u200bzw"))})); // a format character, not a space
    }

    // Everything survives writing and reading, except an empty hint, spaces
    // and tabs at the ends, and an entry whose URI begins with "#".
    void roundTrip()
    {
        const QString uri = QStringLiteral("vez:track:A:B:C:215#2");
        const PlaylistTrack hinted = entry(QStringLiteral("vez:track:\U0001F3B5::y"), QStringLiteral("file:///M%C3%BCsic/x"));
        const Playlist p(QStringLiteral("Trip"), QList<PlaylistTrack>{entry(uri), entry(uri), hinted,
                                                                     entry(QStringLiteral("a"), QString()),
                                                                     entry(QStringLiteral(" b"), QStringLiteral("h \t")),
                                                                     entry(QStringLiteral("#c"))});
        const Playlist back = PlaylistFile::parse(PlaylistFile::serialize(p), p.name);
        QCOMPARE(back.name, p.name);
        QCOMPARE(back.tracks, (QList<PlaylistTrack>{entry(uri), entry(uri), hinted, entry(QStringLiteral("a")),
                                                    entry(QStringLiteral("b"), QStringLiteral("h"))}));
    }
};

QTEST_GUILESS_MAIN(PlaylistFileTest)
#include "tst_playlistfile.moc"
