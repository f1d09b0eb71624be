#include "RaskoLocalFile/FileTimes.h"
#include "RaskoLocalFile/LocalFolderDestination.h"
#include "RaskoLocalFile/LocalFolderDestinationError.h"
#include "tests/support/FailureText.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <csignal>

using vessa::DestinationFileInfo;
using vessa::LocalFolderDestination;
using vessa::LocalFolderDestinationError;

namespace {

void writeFile(const QString& path, const QByteArray& bytes = "x")
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), qPrintable(path));
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

QString failure(const std::function<void()>& operation)
{
    return vessa::test::failureOf<LocalFolderDestinationError>(operation);
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
    void listingRules_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("any case") << "PARVIK" << QStringList{"B.Parvik", "a.parvik", "dangling.parvik", "y.parvik"};
        QTest::newRow("no extension") << "" << QStringList{"noext", "sub", "trailing."};
    }
    void listingRules()
    {
        QFETCH(QString, extension);
        QFETCH(QStringList, expected);
        const QString folder = freshFolder();
        QVERIFY(LocalFolderDestination("d", folder).list(extension).isEmpty()); // a missing folder lists as empty
        QVERIFY(QDir().mkpath(folder + "/sub") && QDir().mkpath(folder + "/y.parvik"));
        for (const char* name : {"a.parvik", ".x.parvik", "sub/inner.parvik", "noext", "trailing.", "list.txt"})
            writeFile(folder + u'/' + QLatin1StringView(name), "12345");
        writeFile(folder + "/B.Parvik", "");
        QVERIFY(QFile::link(folder + "/gone.target", folder + "/dangling.parvik"));
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-60);
        QList<DestinationFileInfo> files = LocalFolderDestination("d", folder).list(extension);
        std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.fileID < b.fileID; });
        QStringList names;
        for (const DestinationFileInfo& info : files) {
            names.append(info.fileID);
            const QFileInfo onDisk(folder + "/" + info.fileID);
            QVERIFY(onDisk.exists() ? info.lastModified > before : info.lastModified == vessa::distantPast());
            QCOMPARE(info.size, onDisk.isFile() ? std::optional<qint64>(onDisk.size()) : std::nullopt);
        }
        QCOMPARE(names, expected);
    }

    void writeCreatesFolderAndReplacesWhole()
    {
        const QString folder = freshFolder();
        LocalFolderDestination destination("Library Playlists", folder);
        QCOMPARE(destination.name(), QStringLiteral("Library Playlists"));
        destination.write("Mix.parvik", QByteArray(10'000, 'a'));
        destination.write("Mix.parvik", "short");
        QCOMPARE(destination.read("Mix.parvik"), QByteArray("short"));
        destination.write("Empty.parvik", QByteArray());
        QCOMPARE(destination.read("Empty.parvik"), QByteArray());
        // No temporary file is left behind.
        QCOMPARE(entries(folder), (QStringList{"Empty.parvik", "Mix.parvik"}));
        // Deletes take files, empty folders and dangling links, nothing recursively.
        QVERIFY(QDir().mkpath(folder + "/empty.parvik") && QDir().mkpath(folder + "/full.parvik/x"));
        QVERIFY(QFile::link(folder + "/gone", folder + "/dangling.parvik"));
        for (const char* name : {"Mix.parvik", "Empty.parvik", "empty.parvik", "dangling.parvik"})
            destination.remove(name);
        QCOMPARE(failure([&] { destination.remove("full.parvik"); }),
                 "Failed to delete 'full.parvik': Directory not empty");
        QCOMPARE(entries(folder), QStringList{"full.parvik"});
        QCOMPARE(LocalFolderDestinationError::directoryNotFound("/p").description(),
                 QStringLiteral("Destination directory not found: /p"));
    }

    void failures()
    {
        const QString folder = freshFolder();
        const QString plain = m_root.filePath("plain-file");
        writeFile(plain);
        LocalFolderDestination destination("d", folder);
        const QString missing = "File 'nope.parvik' not found in " + folder;
        QCOMPARE(failure([&] { destination.read("nope.parvik"); }), missing);
        QCOMPARE(failure([&] { destination.remove("nope.parvik"); }), missing);
        QCOMPARE(failure([&] { LocalFolderDestination("d", plain).list("parvik"); }),
                 "Failed to list files in " + plain + ": Not a directory");
        QCOMPARE(failure([&] { LocalFolderDestination("d", plain + "/sub").write("a.parvik", "a"); }),
                 "Cannot create directory " + plain + "/sub: Not a directory");

        // Writing over a folder fails and leaves it as it was.
        QVERIFY(QDir().mkpath(folder + "/Taken.parvik"));
        writeFile(folder + "/Taken.parvik/keep", "kept");
        QVERIFY(
            failure([&] { destination.write("Taken.parvik", "new"); }).startsWith("Failed to write 'Taken.parvik': "));
        QCOMPARE(failure([&] { destination.read("Taken.parvik"); }), "Failed to read 'Taken.parvik': Is a directory");
        QCOMPARE(entries(folder), QStringList{"Taken.parvik"});
        QCOMPARE(entries(folder + "/Taken.parvik"), QStringList{"keep"});
    }

    // A write cut short (a full disk, here a file-size limit that stops root
    // too) is an error, and the old file stays whole.
    void shortWriteKeepsOldFile_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("under the write buffer") << qint64(8'014);
        QTest::newRow("over the write buffer") << qint64(40'000);
    }

    void shortWriteKeepsOldFile()
    {
        QFETCH(qint64, size);
        const QString folder = freshFolder();
        LocalFolderDestination destination("d", folder);
        destination.write("Big.parvik", "old");
        QString error;
        {
            rlimit previous{};
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
            const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
            const auto restore = qScopeGuard([&] {
                setrlimit(RLIMIT_FSIZE, &previous);
                std::signal(SIGXFSZ, previousHandler);
            });
            const rlimit limited{4096, previous.rlim_max};
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
            error = failure([&] { destination.write("Big.parvik", QByteArray(size, 'x')); });
        }
        QVERIFY2(error.startsWith("Failed to write 'Big.parvik': "), qPrintable(error));
        QCOMPARE(destination.read("Big.parvik"), QByteArray("old"));
        QCOMPARE(entries(folder), QStringList{"Big.parvik"});
    }

    void refusedFileIDs_data()
    {
        QTest::addColumn<QString>("fileID");
        QTest::newRow("empty") << QString();
        QTest::newRow("dot") << ".";
        QTest::newRow("dot dot") << "..";
        QTest::newRow("hidden") << ".hidden.parvik";
        QTest::newRow("escape") << "../escape.parvik";
        QTest::newRow("absolute") << "/tmp/a.parvik";
        QTest::newRow("NUL") << QString::fromUtf16(u"a\0b.parvik", 10);
    }
    void refusedFileIDs()
    {
        QFETCH(QString, fileID);
        const QString folder = freshFolder();
        LocalFolderDestination destination("d", folder);
        destination.write("keep.parvik", "k");
        QCOMPARE(failure([&] { destination.write(fileID, "x"); }),
                 "Failed to write '" + fileID + "': Invalid file name");
        QCOMPARE(failure([&] { destination.read(fileID); }), "Failed to read '" + fileID + "': Invalid file name");
        QCOMPARE(failure([&] { destination.remove(fileID); }), "Failed to delete '" + fileID + "': Invalid file name");
        QCOMPARE(entries(folder), QStringList{"keep.parvik"});
        QCOMPARE(entries(folder + "/.."), QStringList{"playlists"});
    }
};

QTEST_GUILESS_MAIN(TestLocalFolderDestination)
#include "tst_localfolderdestination.moc"
