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

// The error text of parsing, or "" when it parses.
QString parseError(const QByteArray& data)
{
    try {
        PlaylistFile::parse(data, QStringLiteral("x"));
    } catch (const PlaylistFileError& error) {
        return error.description();
    }
    return QString();
}

const QString missingHeader = QStringLiteral("Playlist file is empty or missing the #parvik header");

QString malformed(const QString& line)
{
    return QStringLiteral("Malformed playlist header: '") + line
        + QStringLiteral("' (expected '#parvik:<version>") + u'\\' + QStringLiteral("t<json>')");
}

} // namespace

class PlaylistFileTest : public QObject {
    Q_OBJECT

private slots:
    void emptyPlaylistIsThirteenBytes();
    void writesOneLinePerEntry();
    void headers_data();
    void headers();
    void errorKinds();
    void lineBreaks_data();
    void lineBreaks();
    void entryLines();
    void versionOneKeepsTabsInUri();
    void invalidUtf8_data();
    void invalidUtf8();
    void byteOrderMarkIsSkipped();
    void roundTrip();
    void roundTripLosses();
};

void PlaylistFileTest::emptyPlaylistIsThirteenBytes()
{
    const QByteArray bytes = PlaylistFile::serialize(Playlist(QStringLiteral("Empty"), QList<PlaylistTrack>()));
    QCOMPARE(bytes, QByteArray("#parvik:2\t{}\n"));
    QCOMPARE(bytes.size(), 13);
    const Playlist back = PlaylistFile::parse(bytes, QStringLiteral("Again"));
    QCOMPARE(back.name, QStringLiteral("Again"));
    QVERIFY(back.tracks.isEmpty());
}

void PlaylistFileTest::writesOneLinePerEntry()
{
    const Playlist p(QStringLiteral("Not written"),
                     QList<PlaylistTrack>{entry(QStringLiteral("vez:track:A:B:C:215")),
                                          entry(QStringLiteral("vez:track:A::D"), QStringLiteral("file://Sub%20Dir/d.flac")),
                                          entry(QStringLiteral("u"), QString()),
                                          entry(QStringLiteral("vez:track:Bj%C3%B6rk::\u00e9"))});
    QCOMPARE(PlaylistFile::serialize(p),
             QByteArray("#parvik:2\t{}\nvez:track:A:B:C:215\nvez:track:A::D\tfile://Sub%20Dir/d.flac\nu\t\n"
                        "vez:track:Bj%C3%B6rk::\xC3\xA9\n"));
}

void PlaylistFileTest::headers_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("error");    // "" when it reads
    QTest::addColumn<bool>("readsHints");  // version 2 or higher

    QTest::newRow("written form") << "#parvik:2\t{}" << "" << true;
    QTest::newRow("version alone") << "#parvik:2" << "" << true;
    QTest::newRow("space separator") << "#parvik:2 {}" << "" << true;
    QTest::newRow("separators before version") << "#parvik:\t\t2\t{}" << "" << true;
    QTest::newRow("metadata with tabs and spaces") << "#parvik:2\t{\"a\":\t1} x" << "" << true;
    QTest::newRow("plus sign") << "#parvik:+2\t{}" << "" << true;
    QTest::newRow("version 1") << "#parvik:1\t{}" << "" << false;
    QTest::newRow("version 0") << "#parvik:0" << "" << false;
    QTest::newRow("negative version") << "#parvik:-7 {}" << "" << false;

    QTest::newRow("version 3") << "#parvik:3\t{}"
                               << "Unsupported playlist file version: 3 (this app supports up to version 2)" << false;
    QTest::newRow("huge version") << "#parvik:9223372036854775807"
                                  << "Unsupported playlist file version: 9223372036854775807 (this app supports up "
                                     "to version 2)"
                                  << false;
    for (const char* line : {"#parvik:", "#parvik:word", "#parvik:2.0", "#parvik:\t\t", "#parvik:   ",
                             "#parvik: 2\t{}", "#parvik:99999999999999999999", "#parvik:0x2", "#parvik:\u0662"})
        QTest::newRow(line) << QString::fromUtf8(line) << malformed(QString::fromUtf8(line)) << false;

    for (const char* line : {"", " #parvik:2", "#PARVIK:2", "#parvik2", "hello", "\t#parvik:2"})
        QTest::newRow(qPrintable(QStringLiteral("missing: '%1'").arg(QString::fromUtf8(line))))
            << QString::fromUtf8(line) << missingHeader << false;
}

void PlaylistFileTest::headers()
{
    QFETCH(QString, header);
    QFETCH(QString, error);
    QFETCH(bool, readsHints);
    const QByteArray data = (header + QStringLiteral("\na\tb\n")).toUtf8();
    QCOMPARE(parseError(data), error);
    if (!error.isEmpty())
        return;
    const Playlist p = PlaylistFile::parse(data, QStringLiteral("x"));
    QCOMPARE(p.tracks.size(), 1);
    QCOMPARE(p.tracks[0], readsHints ? entry(QStringLiteral("a"), QStringLiteral("b")) : entry(QStringLiteral("a\tb")));
}

void PlaylistFileTest::errorKinds()
{
    try {
        PlaylistFile::parse(QStringLiteral("#parvik:3"), QStringLiteral("x"));
        QFAIL("no error");
    } catch (const PlaylistFileError& error) {
        QCOMPARE(error.kind(), PlaylistFileError::Kind::unsupportedVersion);
        QCOMPARE(error.version(), 3);
    }
    try {
        PlaylistFile::parse(QStringLiteral("#parvik:x\n"), QStringLiteral("x"));
        QFAIL("no error");
    } catch (const PlaylistFileError& error) {
        QCOMPARE(error.kind(), PlaylistFileError::Kind::malformedHeader);
        QCOMPARE(error.line(), QStringLiteral("#parvik:x"));
        QCOMPARE(QString::fromUtf8(error.what()), error.description());
    }
    // A leading line break leaves the first line empty.
    QCOMPARE(parseError("\n#parvik:2\t{}\n"), missingHeader);
    QCOMPARE(parseError("\r\n#parvik:2\t{}\n"), missingHeader);
}

void PlaylistFileTest::lineBreaks_data()
{
    QTest::addColumn<QString>("lineBreak");
    QTest::newRow("LF") << "\n";
    QTest::newRow("CR LF") << "\r\n";
    QTest::newRow("CR") << "\r";
    QTest::newRow("vertical tab") << "\v";
    QTest::newRow("form feed") << "\f";
    QTest::newRow("NEL") << "\u0085";
    QTest::newRow("line separator") << "\u2028";
    QTest::newRow("paragraph separator") << "\u2029";
}

void PlaylistFileTest::lineBreaks()
{
    QFETCH(QString, lineBreak);
    const QString text = QStringList{QStringLiteral("#parvik:2\t{}"), QStringLiteral("u1"), QStringLiteral("u2\th2"),
                                     QString()}
                             .join(lineBreak);
    const QList<PlaylistTrack> expected{entry(QStringLiteral("u1")), entry(QStringLiteral("u2"), QStringLiteral("h2"))};
    QCOMPARE(PlaylistFile::parse(text, QStringLiteral("x")).tracks, expected);
    QCOMPARE(PlaylistFile::parse(text.toUtf8(), QStringLiteral("x")).tracks, expected);
}

void PlaylistFileTest::entryLines()
{
    const QString text = QStringLiteral(
        "#parvik:2\t{}\n"
        "\n"
        "   \t \n"
        "# a comment\n"
        "  \t#indented comment\n"
        "  a  \n"
        "\t\tb\tfile:///b.mp3 \t\n"
        "u\t\th\n"
        "v\t\n"
        "w\t h x\n"
        "\u00a0\u3000nbsp\u2003\n"
        "\u200bzw\n");
    const QList<PlaylistTrack> expected{
        entry(QStringLiteral("a")),
        entry(QStringLiteral("b"), QStringLiteral("file:///b.mp3")),
        entry(QStringLiteral("u"), QStringLiteral("\th")),
        entry(QStringLiteral("v")),
        entry(QStringLiteral("w"), QStringLiteral(" h x")),
        entry(QStringLiteral("nbsp")),
        // U+200B is a format character, not a space separator: it stays.
        entry(QStringLiteral("\u200bzw")),
    };
    QCOMPARE(PlaylistFile::parse(text, QStringLiteral("x")).tracks, expected);
}

void PlaylistFileTest::versionOneKeepsTabsInUri()
{
    const Playlist p = PlaylistFile::parse(QByteArray("#parvik:1\t{}\na\tb\n  c\t\n"), QStringLiteral("old"));
    QCOMPARE(p.tracks, (QList<PlaylistTrack>{entry(QStringLiteral("a\tb")), entry(QStringLiteral("c"))}));
}

void PlaylistFileTest::invalidUtf8_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("Latin-1 byte") << QByteArray("#parvik:2\t{}\ncaf\xE9\n");
    QTest::newRow("overlong slash") << QByteArray("#parvik:2\t{}\n\xC0\xAF\n");
    QTest::newRow("surrogate") << QByteArray("#parvik:2\t{}\n\xED\xA0\x80\n");
    QTest::newRow("truncated at end") << QByteArray("#parvik:2\t{}\nx\xE2\x82");
    QTest::newRow("above U+10FFFF") << QByteArray("#parvik:2\t{}\n\xF4\x90\x80\x80\n");
    QTest::newRow("empty") << QByteArray();
}

void PlaylistFileTest::invalidUtf8()
{
    QFETCH(QByteArray, data);
    QCOMPARE(parseError(data), missingHeader);
}

void PlaylistFileTest::byteOrderMarkIsSkipped()
{
    const Playlist p = PlaylistFile::parse(QByteArray("\xEF\xBB\xBF#parvik:2\t{}\na\n"), QStringLiteral("x"));
    QCOMPARE(p.tracks, QList<PlaylistTrack>{entry(QStringLiteral("a"))});
    const Playlist q = PlaylistFile::parse(QStringLiteral("\ufeff#parvik:2\na\n"), QStringLiteral("x"));
    QCOMPARE(q.tracks, QList<PlaylistTrack>{entry(QStringLiteral("a"))});
}

void PlaylistFileTest::roundTrip()
{
    const Playlist p(QStringLiteral("Trip"),
                     QList<PlaylistTrack>{entry(QStringLiteral("vez:track:A:B:C:215#2")),
                                          entry(QStringLiteral("vez:track:A:B:C:215#2")),
                                          entry(QStringLiteral("vez:track:::x"), QStringLiteral("file:///M%C3%BCsic/x.mp3")),
                                          entry(QStringLiteral("vez:track:\U0001F3B5::y"), QStringLiteral("file://y%20z.ogg")),
                                          entry(QStringLiteral("odd uri with spaces inside"), QStringLiteral("bare/hint"))});
    const Playlist back = PlaylistFile::parse(PlaylistFile::serialize(p), p.name);
    QCOMPARE(back.name, p.name);
    QCOMPARE(back.tracks, p.tracks);
}

void PlaylistFileTest::roundTripLosses()
{
    const Playlist p(QStringLiteral("x"), QList<PlaylistTrack>{entry(QStringLiteral("a"), QString()),
                                                               entry(QStringLiteral(" b"), QStringLiteral("h \t")),
                                                               entry(QStringLiteral("#c")),
                                                               entry(QStringLiteral("d"))});
    const QList<PlaylistTrack> expected{entry(QStringLiteral("a")), entry(QStringLiteral("b"), QStringLiteral("h")),
                                        entry(QStringLiteral("d"))};
    QCOMPARE(PlaylistFile::parse(PlaylistFile::serialize(p), QStringLiteral("x")).tracks, expected);
}

QTEST_GUILESS_MAIN(PlaylistFileTest)
#include "tst_playlistfile.moc"
