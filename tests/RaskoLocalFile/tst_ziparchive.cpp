#include "RaskoLocalFile/CloudDownload.h"
#include "RaskoLocalFile/LocalFileError.h"
#include "RaskoLocalFile/ZipArchive.h"
#include "RaskoLocalFile/ZipArchiveError.h"
#include "RaskoLocalFile/ZipMemberPath.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ZipFixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using vessa::FileEntry;
using vessa::LocalFileError;
using vessa::ZipArchive;
using vessa::ZipArchiveError;
using vessa::ZipMemberPath;
using vessa::test::ZipFixture;
using Compression = ZipFixture::Compression;

Q_DECLARE_METATYPE(ZipFixture::Compression)

namespace {

const QString scanCategory = QStringLiteral("com.tornwick.rasko.localfile.scan");

// Bytes that deflate cannot shrink much, the same on every run.
QByteArray noise(qsizetype size, quint32 seed = 12345)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        seed = seed * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(seed >> 24);
    }
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

quint32 readLittleEndian32(const QByteArray& bytes, qsizetype at)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<quint8>(bytes[at + i]);
    return value;
}

quint16 readLittleEndian16(const QByteArray& bytes, qsizetype at)
{
    return static_cast<quint16>(static_cast<quint8>(bytes[at]) | (static_cast<quint8>(bytes[at + 1]) << 8));
}

} // namespace

class TestZipArchive : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void listsPlayableFileMembers_data()
    {
        QTest::addColumn<QStringList>("extensions");
        QTest::addColumn<QStringList>("expectedMembers");
        QTest::addColumn<QStringList>("expectedExtensions");
        QTest::newRow("audio") << QStringList{"mp3", "flac"} << QStringList{"Music/Track01.MP3", ".hidden.flac"}
                               << QStringList{"mp3", "flac"};
        QTest::newRow("nothing supported") << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("no extension") << QStringList{""} << QStringList{"README"} << QStringList{""};
        QTest::newRow("upper-case set entry never matches") << QStringList{"MP3"} << QStringList{} << QStringList{};
    }
    void listsPlayableFileMembers()
    {
        QFETCH(QStringList, extensions);
        QFETCH(QStringList, expectedMembers);
        QFETCH(QStringList, expectedExtensions);
        const QString archive = path(QStringLiteral("listing.zip"));
        ZipFixture()
            .addFolder("Music/")
            .addFile("Music/Track01.MP3", "id3", Compression::stored)
            .addFile("cover.jpg", "jpeg")
            .addFile(".hidden.flac", "fLaC")
            .addFile("README", "text")
            .addSymlink("link.mp3", "Music/Track01.MP3")
            .addFolder("Empty.mp3")
            .write(archive);
        const QDateTime date = QDateTime::fromMSecsSinceEpoch(1'600'000'000'000, Qt::UTC);

        const QList<FileEntry> entries =
            ZipArchive::enumerateZipContents(archive, date, QSet<QString>(extensions.begin(), extensions.end()));
        QList<FileEntry> expected;
        for (qsizetype i = 0; i < expectedMembers.size(); ++i)
            expected.append(FileEntry{archive, archive + "::" + expectedMembers[i], expectedExtensions[i], date});
        QCOMPARE(entries, expected);
    }

    void unreadableArchivesListNothing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("not a zip") << QByteArray("just some text, certainly no archive")
                                   << QStringLiteral("Cannot open zip: broken.zip: Not a zip archive");
        QTest::newRow("missing") << QByteArray() << QStringLiteral("Cannot open zip: broken.zip: No such file");
    }
    void unreadableArchivesListNothing()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, logLine);
        const QString archive = path(QStringLiteral("broken.zip"));
        QFile::remove(archive);
        if (!content.isEmpty())
            writeFile(archive, content);
        vessa::test::LogCapture log;
        QVERIFY(ZipArchive::enumerateZipContents(archive, QDateTime(), {"mp3"}).isEmpty());
        QCOMPARE(log.messages(scanCategory), QStringList{logLine});
    }

    void logsTheNumberFound()
    {
        const QString archive = path(QStringLiteral("count.zip"));
        ZipFixture().addFile("a.mp3", "a").addFile("b.mp3", "b").addFile("c.txt", "c").write(archive);
        vessa::test::LogCapture log;
        QCOMPARE(ZipArchive::enumerateZipContents(archive, QDateTime(), {"mp3"}).size(), 2);
        QCOMPARE(log.messages(scanCategory), QStringList{"Zip count.zip: found 2 audio entries"});
    }

    void extractsWholeMembers_data()
    {
        QTest::addColumn<Compression>("compression");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("stored, small") << Compression::stored << QByteArray("ID3 small member");
        QTest::newRow("deflated, small") << Compression::deflated << QByteArray("ID3 small member");
        QTest::newRow("stored, several chunks") << Compression::stored << noise(100'003);
        QTest::newRow("deflated, several chunks") << Compression::deflated << noise(70'000);
        QTest::newRow("deflated, compressible") << Compression::deflated << QByteArray(300'000, 'x');
        QTest::newRow("exactly one chunk") << Compression::deflated << noise(16'384);
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

    void damagedMemberGivesNoData_data()
    {
        QTest::addColumn<Compression>("compression");
        QTest::addColumn<qsizetype>("size");
        QTest::newRow("stored, flipped in the first chunk") << Compression::stored << qsizetype(100'000);
        QTest::newRow("stored, small") << Compression::stored << qsizetype(500);
        QTest::newRow("deflated") << Compression::deflated << qsizetype(100'000);
    }
    void damagedMemberGivesNoData()
    {
        QFETCH(Compression, compression);
        QFETCH(qsizetype, size);
        const QString archive = path(QStringLiteral("damaged.zip"));
        QByteArray bytes = ZipFixture().addFile("song.mp3", noise(size), compression).bytes(archive);
        // The only member's data follows its local header.
        QCOMPARE(readLittleEndian32(bytes, 0), 0x04034b50u);
        const qsizetype dataStart = 30 + readLittleEndian16(bytes, 26) + readLittleEndian16(bytes, 28);
        bytes[dataStart + 100] = static_cast<char>(bytes[dataStart + 100] ^ 0x01);
        writeFile(archive, bytes);
        try {
            const QByteArray data = ZipArchive::extractFromZip(archive, "song.mp3");
            QFAIL(qPrintable(QStringLiteral("a damaged member gave %1 bytes").arg(data.size())));
        } catch (const ZipArchiveError& error) {
            QCOMPARE(error.kind(), ZipArchiveError::Kind::readFailed);
            QVERIFY2(error.description().startsWith("Cannot read 'song.mp3' in zip " + archive + ": "),
                     qPrintable(error.description()));
        }
    }

    void missingMember_data()
    {
        QTest::addColumn<QString>("entryPath");
        QTest::newRow("absent") << QStringLiteral("nope.mp3");
        QTest::newRow("other case") << QStringLiteral("music/a.mp3");
        QTest::newRow("not normalised") << QStringLiteral("./Music/a.mp3");
        QTest::newRow("parent step") << QStringLiteral("Music/../Music/a.mp3");
        QTest::newRow("empty") << QString();
    }
    void missingMember()
    {
        QFETCH(QString, entryPath);
        const QString archive = path(QStringLiteral("members.zip"));
        ZipFixture().addFile("Music/a.mp3", "a").write(archive);
        try {
            ZipArchive::extractFromZip(archive, entryPath);
            QFAIL("a missing member was read");
        } catch (const LocalFileError& error) {
            QCOMPARE(error.kind(), LocalFileError::Kind::zipEntryNotFound);
            QCOMPARE(error.description(), "Entry '" + entryPath + "' not found in zip: " + archive);
        }
    }

    void missingArchive()
    {
        const QString archive = path(QStringLiteral("absent.zip"));
        try {
            ZipArchive::extractFromZip(archive, "a.mp3");
            QFAIL("a missing archive was read");
        } catch (const ZipArchiveError& error) {
            QCOMPARE(error.description(), "Cannot read zip archive " + archive + ": No such file");
        }
    }

    void sizeLimit()
    {
        const QString archive = path(QStringLiteral("limit.zip"));
        const QByteArray content = noise(40'000);
        QByteArray bytes = ZipFixture().addFile("big.mp3", content).bytes(archive);
        const ZipArchive opened(archive);
        QCOMPARE(opened.read("big.mp3", 40'000), content);
        try {
            opened.read("big.mp3", 39'999);
            QFAIL("a member over the limit was read");
        } catch (const ZipArchiveError& error) {
            QCOMPARE(error.kind(), ZipArchiveError::Kind::entryTooLarge);
        }

        // A header that claims more than 256 MiB is refused before anything is read.
        const qsizetype central = bytes.indexOf(QByteArray("PK\x01\x02", 4));
        QVERIFY(central > 0);
        const quint32 claimed = 300u * 1024 * 1024;
        for (int i = 0; i < 4; ++i)
            bytes[central + 24 + i] = static_cast<char>((claimed >> (8 * i)) & 0xFF);
        writeFile(archive, bytes);
        try {
            ZipArchive::extractFromZip(archive, "big.mp3");
            QFAIL("a member claiming 300 MiB was read");
        } catch (const ZipArchiveError& error) {
            QCOMPARE(error.description(), "Entry 'big.mp3' in zip " + archive
                                              + " is too large: 314572800 bytes, more than the limit of 268435456 bytes");
        }
    }

    void concurrentExtraction()
    {
        const QString archive = path(QStringLiteral("shared.zip"));
        const QByteArray content = noise(50'000, 7);
        ZipFixture().addFile("a.mp3", content).write(archive);
        std::atomic<int> matches = 0;
        {
            std::vector<std::jthread> readers;
            for (int i = 0; i < 8; ++i)
                readers.emplace_back([&] {
                    for (int j = 0; j < 10; ++j)
                        if (ZipArchive::extractFromZip(archive, "a.mp3") == content)
                            ++matches;
                });
        }
        QCOMPARE(matches.load(), 80);
    }

    void splitMemberPaths_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("archivePath");
        QTest::addColumn<QString>("memberPath");
        QTest::newRow("member") << "/m/a.zip::Music/x.mp3" << "/m/a.zip" << "Music/x.mp3";
        QTest::newRow("upper-case archive") << "/m/A.ZiP::x.mp3" << "/m/A.ZiP" << "x.mp3";
        QTest::newRow("folder with separator") << "/m/Artist :: Live/x.mp3" << QString() << QString();
        QTest::newRow("folder with separator, then archive")
            << "/m/Artist :: Live/b.zip::x.mp3" << "/m/Artist :: Live/b.zip" << "x.mp3";
        QTest::newRow("separator inside archive name") << "/m/x::y.zip::a.mp3" << "/m/x::y.zip" << "a.mp3";
        QTest::newRow("nested archive stays in member") << "/m/a.zip::b.zip::c.mp3" << "/m/a.zip" << "b.zip::c.mp3";
        QTest::newRow("member not normalised") << "/m/a.zip::../x.mp3" << "/m/a.zip" << "../x.mp3";
        QTest::newRow("nothing after") << "/m/a.zip::" << QString() << QString();
        QTest::newRow("nothing before") << "::x.mp3" << QString() << QString();
        QTest::newRow("not a zip suffix") << "/m/a.zipper::x.mp3" << QString() << QString();
        QTest::newRow("non-ASCII look-alike") << QString::fromUtf8("/m/a.z\xc4\xb0p::x") << QString() << QString();
        QTest::newRow("plain path") << "/m/a.mp3" << QString() << QString();
    }
    void splitMemberPaths()
    {
        QFETCH(QString, text);
        QFETCH(QString, archivePath);
        QFETCH(QString, memberPath);
        const auto parts = ZipMemberPath::split(text);
        QCOMPARE(ZipMemberPath::isMemberPath(text), !archivePath.isEmpty());
        if (archivePath.isEmpty()) {
            QVERIFY(!parts);
            return;
        }
        QVERIFY(parts);
        QCOMPARE(parts->archivePath, archivePath);
        QCOMPARE(parts->memberPath, memberPath);
        QCOMPARE(ZipMemberPath::make(archivePath, memberPath), text);
    }

    void errorTexts_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("expected");
        QTest::newRow("trackNotFound") << LocalFileError::trackNotFound("A", "B", "C").description()
                                       << "No file found for track: A - B - C";
        QTest::newRow("fileNotFound") << LocalFileError::fileNotFound("/m/a.mp3").description()
                                      << "File no longer exists at /m/a.mp3";
        QTest::newRow("cannotEnumerate") << LocalFileError::cannotEnumerate("/m").description()
                                         << "Cannot enumerate directory: /m";
        QTest::newRow("zipOpenFailed") << LocalFileError::zipOpenFailed("/m/a.zip").description()
                                       << "Cannot open zip archive: /m/a.zip";
        QTest::newRow("zipEntryNotFound") << LocalFileError::zipEntryNotFound("/m/a.zip", "x.mp3").description()
                                          << "Entry 'x.mp3' not found in zip: /m/a.zip";
    }
    void errorTexts()
    {
        QFETCH(QString, description);
        QFETCH(QString, expected);
        QCOMPARE(description, expected);
    }

    void localFilesAreNeverEvicted()
    {
        const QString file = path(QStringLiteral("local.mp3"));
        writeFile(file, "x");
        vessa::test::LogCapture log;
        QVERIFY(!vessa::CloudDownload::triggerDownloadIfEvicted(file));
        QVERIFY(log.entries().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestZipArchive)
#include "tst_ziparchive.moc"
