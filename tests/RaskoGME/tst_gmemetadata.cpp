#include "RaskoGME/GMEDecoderPlugin.h"
#include "RaskoGME/GMEError.h"
#include "tests/support/ChipFixtures.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace vessa;
using namespace vessa::test;

namespace {

std::optional<QString> text(const char* value)
{
    return QString::fromUtf8(value);
}

TrackMetadata metadata(std::optional<QString> title, std::optional<QString> artist, std::optional<QString> album,
                       std::optional<double> duration, std::optional<qint64> subTrackIndex)
{
    TrackMetadata m;
    m.title = std::move(title);
    m.artist = std::move(artist);
    m.album = std::move(album);
    m.duration = duration;
    m.subTrackIndex = subTrackIndex;
    return m;
}

} // namespace

class GMEMetadataTest : public QObject {
    Q_OBJECT

private slots:
    void extract_data();
    void extract();
    void extractFromFile();
    void extractFailures_data();
    void extractFailures();
    void scanTracks_data();
    void scanTracks();
    void scanFailures_data();
    void scanFailures();
    void canScan_data();
    void canScan();
};

void GMEMetadataTest::extract_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::optional<qint64>>("index");
    QTest::addColumn<TrackMetadata>("expected");

    const QByteArray gbs = gbsFile(2, "Game Title", "Composer", "2026");
    QTest::newRow("vgm tag") << psgToneVgm(3.0, false, "Opening", "Some Game", "Someone") << std::optional<qint64>()
                             << metadata(text("Opening"), text("Someone"), text("Some Game"), 3.0, std::nullopt);
    QTest::newRow("looping vgm") << psgToneVgm(2.0, true) << std::optional<qint64>(0)
                                 << metadata(text("Tone"), text("Vessa Tests"), text("Fixtures"), 4.0, 0);
    // The library hands over GD3 text as single bytes: é arrives as a lone 0xE9.
    QTest::newRow("invalid utf-8") << psgToneVgm(1.0, false, QString::fromUtf8("Café"), "G", "A")
                                   << std::optional<qint64>()
                                   << metadata(QString::fromUtf8("Caf\uFFFD"), text("A"), text("G"), 1.0, std::nullopt);
    QTest::newRow("gbs second song") << gbs << std::optional<qint64>(1)
                                     << metadata(std::nullopt, text("Composer"), text("Game Title"), 150.0, 1);
    QTest::newRow("nsf without names") << nsfFile(3, "", "", "") << std::optional<qint64>(2)
                                       << metadata(std::nullopt, std::nullopt, std::nullopt, 150.0, 2);
    QTest::newRow("nsf names") << nsfFile(3, "Nes Game", "Nes Author", "") << std::optional<qint64>()
                               << metadata(std::nullopt, text("Nes Author"), text("Nes Game"), 150.0, std::nullopt);
}

void GMEMetadataTest::extract()
{
    QFETCH(QByteArray, bytes);
    QFETCH(std::optional<qint64>, index);
    QFETCH(TrackMetadata, expected);

    GMEDecoderPlugin plugin;
    const TrackMetadata m = plugin.extract(SourceLocator::data(bytes), index);
    QCOMPARE(m.title, expected.title);
    QCOMPARE(m.artist, expected.artist);
    QCOMPARE(m.album, expected.album);
    QCOMPARE(m.duration, expected.duration);
    QCOMPARE(m.subTrackIndex, expected.subTrackIndex);
    QVERIFY(m == expected); // artwork, track and disc number stay absent
}

void GMEMetadataTest::extractFromFile()
{
    // The path's extension picks the emulator, in any case.
    QTemporaryDir dir;
    const QString path = dir.filePath("Song.NSF");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(nsfFile(3, "Nes Game", "Nes Author", ""));
    file.close();
    GMEDecoderPlugin plugin;
    const TrackMetadata m = plugin.extract(SourceLocator::fileURL(path), 1);
    QCOMPARE(m.album, text("Nes Game"));
    QCOMPARE(m.subTrackIndex, std::optional<qint64>(1));
}

void GMEMetadataTest::extractFailures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<std::optional<qint64>>("index");
    QTest::addColumn<QString>("description");

    const QByteArray nsf = nsfFile(3, "", "", "");
    QTest::newRow("past the end") << nsf << std::optional<qint64>(3) << "Game music emulator error: Invalid track";
    QTest::newRow("negative") << nsf << std::optional<qint64>(-1) << "Game music emulator error: Invalid track";
    QTest::newRow("beyond int") << nsf << std::optional<qint64>(qint64(1) << 40)
                                << "Game music emulator error: Invalid track";
    QTest::newRow("junk") << QByteArray(300, '\x7f') << std::optional<qint64>()
                          << "Game music emulator error: Wrong file type for this emulator";
}

void GMEMetadataTest::extractFailures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(std::optional<qint64>, index);
    QFETCH(QString, description);

    GMEDecoderPlugin plugin;
    try {
        plugin.extract(SourceLocator::data(bytes), index);
        QFAIL("extract succeeded");
    } catch (const GMEError& error) {
        QCOMPARE(error.description(), description);
    }
}

void GMEMetadataTest::scanTracks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QList<ScannedSubTrack>>("expected");

    const QList<ScannedSubTrack> nsfTracks = {ScannedSubTrack(0, "Track 1", "", "", 150.0),
                                              ScannedSubTrack(1, "Track 2", "", "", 150.0),
                                              ScannedSubTrack(2, "Track 3", "", "", 150.0)};
    const QByteArray nsf = nsfFile(3, "", "", "");
    QTest::newRow("nsf") << nsf << "nsf" << nsfTracks;
    QTest::newRow("nsf, upper case") << nsf << "NSF" << nsfTracks;
    QTest::newRow("nsf by content") << nsf << "" << nsfTracks;
    QTest::newRow("nsf named bin") << nsf << "bin" << nsfTracks;
    QTest::newRow("gbs") << gbsFile(2, "Game Title", "Composer", "2026") << "gbs"
                         << QList<ScannedSubTrack>{ScannedSubTrack(0, "Track 1", "Composer", "Game Title", 150.0),
                                                   ScannedSubTrack(1, "Track 2", "Composer", "Game Title", 150.0)};
    QTest::newRow("vgm") << psgToneVgm(2.5, false, "Opening", "Some Game", "Someone") << "vgm"
                         << QList<ScannedSubTrack>{ScannedSubTrack(0, "Opening", "Someone", "Some Game", 2.5)};
    QTest::newRow("spc") << spcFile(95, "Song", "Game", "Artist") << "spc"
                         << QList<ScannedSubTrack>{ScannedSubTrack(0, "Song", "Artist", "Game", 95.0)};
    QTest::newRow("no songs") << nsfFile(0, "", "", "") << "nsf" << QList<ScannedSubTrack>();
}

void GMEMetadataTest::scanTracks()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, extension);
    QFETCH(QList<ScannedSubTrack>, expected);

    GMEDecoderPlugin plugin;
    QCOMPARE(plugin.scanTracks(bytes, extension), expected);
}

void GMEMetadataTest::scanFailures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("extension");

    QTest::newRow("junk") << QByteArray("plain text, no music") << "nsf";
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("truncated gbs") << gbsFile(2, "G", "A", "C").left(0x40) << "gbs";
    QTest::newRow("vgm named gbs") << psgToneVgm(1.0, false) << "gbs";
}

void GMEMetadataTest::scanFailures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, extension);

    GMEDecoderPlugin plugin;
    try {
        plugin.scanTracks(bytes, extension);
        QFAIL("scan succeeded");
    } catch (const GMEError& error) {
        QCOMPARE(error.kind(), GMEError::Kind::gmeError);
        QCOMPARE(error.description(), QStringLiteral("Game music emulator error: Wrong file type for this emulator"));
    }
}

void GMEMetadataTest::canScan_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("scannable");

    QTest::newRow("NSF") << "NSF" << true;
    QTest::newRow("Vgz") << "Vgz" << true;
    QTest::newRow("spc") << "spc" << true;
    QTest::newRow("sap") << "sap" << true;
    QTest::newRow("mp3") << "mp3" << false;
    QTest::newRow("leading dot") << ".nsf" << false;
    QTest::newRow("empty") << "" << false;
}

void GMEMetadataTest::canScan()
{
    QFETCH(QString, extension);
    QFETCH(bool, scannable);
    QCOMPARE(GMEDecoderPlugin().canScan(extension), scannable);
}

QTEST_GUILESS_MAIN(GMEMetadataTest)
#include "tst_gmemetadata.moc"
