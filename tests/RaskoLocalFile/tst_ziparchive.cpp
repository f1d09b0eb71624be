#include "RaskoLocalFile/CloudDownload.h"
#include "RaskoLocalFile/LocalFileError.h"
#include "RaskoLocalFile/ZipArchive.h"
#include "RaskoLocalFile/ZipArchiveError.h"
#include "RaskoLocalFile/ZipMemberPath.h"
#include "tests/support/FailureText.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ZipFixture.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using vessa::FileEntry;
using vessa::LocalFileError;
using vessa::ZipArchive;
using vessa::ZipArchiveError;
using vessa::ZipMemberPath;
using vessa::test::failureOf;
using vessa::test::ZipFixture;
using Compression = ZipFixture::Compression;

Q_DECLARE_METATYPE(ZipFixture::Compression)

namespace {

// Bytes that deflate cannot shrink much, the same on every run.
QByteArray noise(qsizetype size)
{
    QList<quint32> words((size + 3) / 4);
    QRandomGenerator(12345).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.constData()), size);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

} // namespace

class TestZipArchive : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    // File members only, by their lower-cased extension, hidden ones too.
    void listsPlayableFileMembers()
    {
        const QString archive = path(QStringLiteral("listing.zip"));
        ZipFixture()
            .addFolder("Music/")
            .addFile("Music/Track01.MP3", "id3", Compression::stored)
            .addFile("cover.jpg", "jpeg")
            .addFile(".hidden.flac", "fLaC")
            .addSymlink("link.mp3", "Music/Track01.MP3")
            .addFolder("Empty.mp3")
            .write(archive);
        const QDateTime date = QDateTime::fromMSecsSinceEpoch(1'600'000'000'000, Qt::UTC);
        QCOMPARE(ZipArchive::enumerateZipContents({archive, archive, "zip", date, 7}, {"mp3", "flac", "MP3"}),
                 (QList<FileEntry>{{archive, archive + "::Music/Track01.MP3", "mp3", date, 7},
                                   {archive, archive + "::.hidden.flac", "flac", date, 7}}));
    }

    void listingLogs()
    {
        // "%1" in a name reaches the log as it is.
        const QString archive = path(QStringLiteral("log %1.zip"));
        const QString scanCategory = QStringLiteral("com.tornwick.rasko.localfile.scan");
        vessa::test::LogCapture log;
        writeFile(archive, "just some text, certainly no archive");
        QVERIFY(!vessa::CloudDownload::triggerDownloadIfEvicted(archive)); // local files are never evicted
        QVERIFY(ZipArchive::enumerateZipContents({archive, archive, "zip", QDateTime()}, {"mp3"}).isEmpty());
        ZipFixture().addFile("a.mp3", "a").addFile("b.mp3", "b").addFile("c.txt", "c").write(archive);
        QCOMPARE(ZipArchive::enumerateZipContents({archive, archive, "zip", QDateTime()}, {"mp3"}).size(), 2);
        QCOMPARE(log.messages(scanCategory), (QStringList{"Cannot open zip: log %1.zip: Not a zip archive",
                                                          "Zip log %1.zip: found 2 audio entries"}));
    }

    void extractsWholeMembers_data()
    {
        QTest::addColumn<Compression>("compression");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("stored, several chunks") << Compression::stored << noise(100'003);
        QTest::newRow("deflated, several chunks") << Compression::deflated << noise(70'000);
        QTest::newRow("deflated, exactly one chunk") << Compression::deflated << noise(ZipArchive::chunkSize);
        QTest::newRow("empty") << Compression::stored << QByteArray();
    }
    void extractsWholeMembers()
    {
        QFETCH(Compression, compression);
        QFETCH(QByteArray, content);
        const QString archive = path(QStringLiteral("extract.zip"));
        ZipFixture().addFile("before.txt", "x").addFile("CD 1/Song.mp3", content, compression).write(archive);
        QCOMPARE(ZipArchive::extractFromZip(archive, "CD 1/Song.mp3"), content);
    }

    // libzip checks the CRC only at a member's end: a flipped byte in the first chunk still fails.
    void damagedMemberGivesNoData()
    {
        for (const Compression compression : {Compression::stored, Compression::deflated}) {
            const QString archive = path(QStringLiteral("damaged.zip"));
            QByteArray bytes = ZipFixture().addFile("song.mp3", noise(100'000), compression).bytes(archive);
            // The only member's data follows its local header.
            const auto u16 = [&](qsizetype at) { return quint8(bytes.at(at)) | quint8(bytes.at(at + 1)) << 8; };
            const qsizetype dataStart = 30 + u16(26) + u16(28);
            bytes[dataStart + 100] = static_cast<char>(bytes[dataStart + 100] ^ 0x01);
            writeFile(archive, bytes);
            QVERIFY(failureOf<ZipArchiveError>([&] {
                        ZipArchive::extractFromZip(archive, "song.mp3");
                    }).startsWith("Cannot read 'song.mp3' in zip " + archive + ": "));
        }
    }

    void missingMemberOrArchive()
    {
        const QString archive = path(QStringLiteral("members.zip"));
        ZipFixture().addFile("Music/a.mp3", "a").write(archive);
        for (const QString entry : {"nope.mp3", "music/a.mp3", "Music/../Music/a.mp3"}) {
            QCOMPARE(failureOf<LocalFileError>([&] { ZipArchive::extractFromZip(archive, entry); }),
                     "Entry '" + entry + "' not found in zip: " + archive);
        }
        const QString absent = path(QStringLiteral("absent.zip"));
        QCOMPARE(failureOf<ZipArchiveError>([&] { ZipArchive::extractFromZip(absent, "a.mp3"); }),
                 "Cannot read zip archive " + absent + ": No such file");
    }

    void sizeLimit()
    {
        // Place markers in the names stay text in the sentences about them.
        const QString archive = path(QStringLiteral("limit %2%3.zip"));
        const QString member = QStringLiteral("big %4%1.mp3");
        const QByteArray content = noise(40'000);
        QByteArray bytes = ZipFixture().addFile(member, content).bytes(archive);
        const ZipArchive opened(archive);
        QCOMPARE(opened.read(member, 40'000), content);
        QVERIFY_THROWS_EXCEPTION(ZipArchiveError, opened.read(member, 39'999));

        // A header that claims more than 256 MiB is refused before anything is read.
        const qsizetype central = bytes.indexOf(QByteArray("PK\x01\x02", 4));
        QVERIFY(central > 0);
        qToLittleEndian<quint32>(300u * 1024 * 1024, bytes.data() + central + 24);
        writeFile(archive, bytes);
        QCOMPARE(failureOf<ZipArchiveError>([&] { ZipArchive::extractFromZip(archive, member); }),
                 "Entry '" + member + "' in zip " + archive
                     + " is too large: 314572800 bytes, more than the limit of 268435456 bytes");
    }

    void splitMemberPaths_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("archivePath");
        QTest::addColumn<QString>("memberPath");
        QTest::newRow("member") << "/m/a.zip::Music/x.mp3"
                                << "/m/a.zip"
                                << "Music/x.mp3";
        QTest::newRow("folder with separator") << "/m/Artist :: Live/x.mp3" << QString() << QString();
        QTest::newRow("folder with separator, then archive") << "/m/Artist :: Live/b.ZiP::x.mp3"
                                                             << "/m/Artist :: Live/b.ZiP"
                                                             << "x.mp3";
        QTest::newRow("nested archive stays in member") << "/m/a.zip::b.zip::c.mp3"
                                                        << "/m/a.zip"
                                                        << "b.zip::c.mp3";
        QTest::newRow("member not normalised") << "/m/a.zip::../x.mp3"
                                               << "/m/a.zip"
                                               << "../x.mp3";
        QTest::newRow("nothing after") << "/m/a.zip::" << QString() << QString();
        QTest::newRow("not a zip suffix") << "/m/a.zipper::x.mp3" << QString() << QString();
        QTest::newRow("non-ASCII look-alike") << "/m/a.zİp::x" << QString() << QString();
    }
    void splitMemberPaths()
    {
        QFETCH(QString, text);
        QFETCH(QString, archivePath);
        QFETCH(QString, memberPath);
        const auto parts = ZipMemberPath::split(text);
        QCOMPARE(parts.has_value(), !archivePath.isEmpty());
        if (!parts)
            return;
        QCOMPARE(parts->archivePath, archivePath);
        QCOMPARE(parts->memberPath, memberPath);
        QCOMPARE(ZipMemberPath::make(archivePath, memberPath), text);
    }
};

QTEST_GUILESS_MAIN(TestZipArchive)
#include "tst_ziparchive.moc"
