#include "RaskoLocalFile/FileTimes.h"
#include "RaskoLocalFile/LocalFolderDestination.h"
#include "RaskoLocalFile/LocalFolderDestinationError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using vessa::DestinationFileInfo;
using vessa::LocalFolderDestination;
using vessa::LocalFolderDestinationError;
using Kind = LocalFolderDestinationError::Kind;

Q_DECLARE_METATYPE(LocalFolderDestinationError::Kind)

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs `operation`, expecting it to fail with `kind` and exactly `text`.
void expectFailure(const std::function<void()>& operation, Kind kind, const QString& text)
{
    try {
        operation();
        QFAIL("the operation succeeded");
    } catch (const LocalFolderDestinationError& error) {
        QCOMPARE(error.kind(), kind);
        QCOMPARE(error.description(), text);
    }
}

} // namespace

class TestLocalFolderDestination : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_root;
    int m_folders = 0;
    // A fresh folder path inside the temporary root (not created).
    QString freshFolder() { return m_root.filePath(QStringLiteral("folder%1/playlists").arg(++m_folders)); }

private slots:
    void missingFolderListsEmpty()
    {
        const QString folder = freshFolder();
        LocalFolderDestination destination("Library Playlists", folder);
        QCOMPARE(destination.name(), QStringLiteral("Library Playlists"));
        QVERIFY(destination.list("parvik").isEmpty());
        QVERIFY(!QFileInfo::exists(folder));
    }

    void listingRules_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("lower case") << "parvik" << QStringList{"B.Parvik", "a.parvik", "y.parvik"};
        QTest::newRow("capitals") << "PARVIK" << QStringList{"B.Parvik", "a.parvik", "y.parvik"};
        QTest::newRow("no extension") << "" << QStringList{"noext", "sub", "trailing."};
        QTest::newRow("other") << "m3u" << QStringList{};
    }
    void listingRules()
    {
        QFETCH(QString, extension);
        QFETCH(QStringList, expected);
        const QString folder = freshFolder();
        QVERIFY(QDir().mkpath(folder + "/sub"));
        QVERIFY(QDir().mkpath(folder + "/y.parvik"));
        writeFile(folder + "/a.parvik", "12345");
        writeFile(folder + "/B.Parvik", "");
        writeFile(folder + "/.x.parvik", "hidden");
        writeFile(folder + "/sub/inner.parvik", "inside");
        writeFile(folder + "/noext", "n");
        writeFile(folder + "/trailing.", "t");
        writeFile(folder + "/list.txt", "t");
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-60);

        QList<DestinationFileInfo> files = LocalFolderDestination("d", folder).list(extension);
        std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.fileID < b.fileID; });
        QStringList names;
        for (const DestinationFileInfo& info : files) {
            names.append(info.fileID);
            QVERIFY(info.lastModified > before);
            const QFileInfo onDisk(folder + "/" + info.fileID);
            if (onDisk.isDir())
                QCOMPARE(info.size, std::nullopt);
            else
                QCOMPARE(info.size, std::optional<qint64>(onDisk.size()));
        }
        QCOMPARE(names, expected);
    }

    void danglingLinkIsListedWithoutDate()
    {
        const QString folder = freshFolder();
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::link(folder + "/gone.target", folder + "/dangling.parvik"));
        const QList<DestinationFileInfo> files = LocalFolderDestination("d", folder).list("parvik");
        QCOMPARE(files.size(), 1);
        QCOMPARE(files[0].lastModified, vessa::distantPast());
        QCOMPARE(files[0].size, std::nullopt);
    }

    void listingAPlainFileFails()
    {
        const QString file = m_root.filePath("plain-file");
        writeFile(file, "x");
        expectFailure([&] { LocalFolderDestination("d", file).list("parvik"); }, Kind::listFailed,
                      "Failed to list files in " + file + ": Not a directory");
    }

    void writeCreatesFolderAndReplacesWhole()
    {
        const QString folder = freshFolder();
        LocalFolderDestination destination("d", folder);
        destination.write("Mix.parvik", QByteArray(10'000, 'a'));
        QCOMPARE(readFile(folder + "/Mix.parvik"), QByteArray(10'000, 'a'));
        destination.write("Mix.parvik", "short");
        QCOMPARE(destination.read("Mix.parvik"), QByteArray("short"));
        destination.write("Empty.parvik", QByteArray());
        QCOMPARE(destination.read("Empty.parvik"), QByteArray());
        // No temporary file is left behind.
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{"Empty.parvik", "Mix.parvik"}));
    }

    void failedWriteLeavesEarlierEntry()
    {
        const QString folder = freshFolder();
        LocalFolderDestination destination("d", folder);
        QVERIFY(QDir().mkpath(folder + "/Taken.parvik"));
        writeFile(folder + "/Taken.parvik/keep", "kept");
        try {
            destination.write("Taken.parvik", "new");
            QFAIL("writing over a folder succeeded");
        } catch (const LocalFolderDestinationError& error) {
            QCOMPARE(error.kind(), Kind::writeFailed);
            QVERIFY(error.description().startsWith("Failed to write 'Taken.parvik': "));
        }
        QCOMPARE(readFile(folder + "/Taken.parvik/keep"), QByteArray("kept"));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"Taken.parvik"});
    }

    void unwritableFolderKeepsOldFile()
    {
        if (geteuid() == 0)
            QSKIP("file permissions do not bind the superuser");
        const QString folder = freshFolder();
        LocalFolderDestination destination("d", folder);
        destination.write("a.parvik", "old");
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        try {
            destination.write("a.parvik", "new");
            QFAIL("writing into a read-only folder succeeded");
        } catch (const LocalFolderDestinationError& error) {
            QCOMPARE(error.kind(), Kind::writeFailed);
        }
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(destination.read("a.parvik"), QByteArray("old"));
    }

    void missingFiles()
    {
        const QString folder = freshFolder();
        LocalFolderDestination destination("d", folder);
        const QString text = "File 'nope.parvik' not found in " + folder;
        expectFailure([&] { destination.read("nope.parvik"); }, Kind::fileNotFound, text);
        expectFailure([&] { destination.remove("nope.parvik"); }, Kind::fileNotFound, text);
    }

    void readAndDeleteFailures()
    {
        const QString folder = freshFolder();
        LocalFolderDestination destination("d", folder);
        QVERIFY(QDir().mkpath(folder + "/full.parvik"));
        writeFile(folder + "/full.parvik/x", "x");
        expectFailure([&] { destination.read("full.parvik"); }, Kind::readFailed,
                      "Failed to read 'full.parvik': Is a directory");
        expectFailure([&] { destination.remove("full.parvik"); }, Kind::deleteFailed,
                      "Failed to delete 'full.parvik': Directory not empty");
        QVERIFY(QFileInfo::exists(folder + "/full.parvik/x"));
    }

    void deletes()
    {
        const QString folder = freshFolder();
        LocalFolderDestination destination("d", folder);
        destination.write("a.parvik", "a");
        QVERIFY(QDir().mkpath(folder + "/empty.parvik"));
        QVERIFY(QFile::link(folder + "/gone", folder + "/dangling.parvik"));
        destination.remove("a.parvik");
        destination.remove("empty.parvik");
        destination.remove("dangling.parvik");
        QVERIFY(QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    }

    void folderThatCannotBeCreated()
    {
        const QString file = m_root.filePath("blocker");
        writeFile(file, "x");
        const QString folder = file + "/playlists";
        expectFailure([&] { LocalFolderDestination("d", folder).write("a.parvik", "a"); },
                      Kind::cannotCreateDirectory, "Cannot create directory " + folder + ": Not a directory");
    }

    void refusedFileIDs_data()
    {
        QTest::addColumn<QString>("fileID");
        QTest::newRow("empty") << QString();
        QTest::newRow("dot") << ".";
        QTest::newRow("dot dot") << "..";
        QTest::newRow("hidden") << ".hidden.parvik";
        QTest::newRow("escape") << "../escape.parvik";
        QTest::newRow("sub-folder") << "sub/a.parvik";
        QTest::newRow("absolute") << "/tmp/a.parvik";
        QTest::newRow("NUL") << QString::fromUtf16(u"a\0b.parvik", 10);
    }
    void refusedFileIDs()
    {
        QFETCH(QString, fileID);
        const QString folder = freshFolder();
        LocalFolderDestination destination("d", folder);
        destination.write("keep.parvik", "k");
        expectFailure([&] { destination.write(fileID, "x"); }, Kind::writeFailed,
                      "Failed to write '" + fileID + "': Invalid file name");
        expectFailure([&] { destination.read(fileID); }, Kind::readFailed,
                      "Failed to read '" + fileID + "': Invalid file name");
        expectFailure([&] { destination.remove(fileID); }, Kind::deleteFailed,
                      "Failed to delete '" + fileID + "': Invalid file name");
        QVERIFY(!QFileInfo::exists(folder + "/../escape.parvik"));
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"keep.parvik"});
        QCOMPARE(QDir(folder + "/..").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"playlists"});
    }

    void errorTexts_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("expected");
        using E = LocalFolderDestinationError;
        QTest::newRow("directoryNotFound") << E::directoryNotFound("/p").description()
                                           << "Destination directory not found: /p";
        QTest::newRow("fileNotFound") << E::fileNotFound("a.parvik", "/p").description()
                                      << "File 'a.parvik' not found in /p";
        QTest::newRow("cannotCreateDirectory") << E::cannotCreateDirectory("/p", "m").description()
                                               << "Cannot create directory /p: m";
        QTest::newRow("readFailed") << E::readFailed("a", "m").description() << "Failed to read 'a': m";
        QTest::newRow("writeFailed") << E::writeFailed("a", "m").description() << "Failed to write 'a': m";
        QTest::newRow("deleteFailed") << E::deleteFailed("a", "m").description() << "Failed to delete 'a': m";
        QTest::newRow("listFailed") << E::listFailed("/p", "m").description() << "Failed to list files in /p: m";
    }
    void errorTexts()
    {
        QFETCH(QString, description);
        QFETCH(QString, expected);
        QCOMPARE(description, expected);
    }
};

QTEST_GUILESS_MAIN(TestLocalFolderDestination)
#include "tst_localfolderdestination.moc"
