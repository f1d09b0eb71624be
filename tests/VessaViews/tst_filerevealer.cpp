// "Show in File Manager": the ShowItems call on the session bus, and the
// parent folders opened when no file manager answers.

#include "Vessa/Views/TrackLists/FileRevealer.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/FileNameBytes.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTemporaryDir>
#include <QTest>

using namespace vessa;

// A file manager on the bus that records what it was asked to show.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QList<QStringList> shown;
public slots:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId);
        shown.append(uris);
    }
};

class TestFileRevealer : public QObject {
    Q_OBJECT

private slots:
    void itemsAndFolders_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("uris");
        QTest::addColumn<QStringList>("folders");
        QTest::newRow("two files in one folder")
            << QStringList{"/m/a b.mp3", "/m/c.mp3"} << QStringList{"file:///m/a%20b.mp3", "file:///m/c.mp3"}
            << QStringList{"file:///m"};
        QTest::newRow("a member shows its archive, once")
            << QStringList{"/z/set.zip::x/a.mp3", "/z/set.zip::x/b.mp3", "/y/d.mp3"}
            << QStringList{"file:///z/set.zip", "file:///y/d.mp3"} << QStringList{"file:///z", "file:///y"};
        QTest::newRow("names that are not UTF-8 keep their bytes")
            << QStringList{pathFromBytes("/m/Caf\xe9.mp3"), pathFromBytes("/\xff/x.mp3")}
            << QStringList{"file:///m/Caf%E9.mp3", "file:///%FF/x.mp3"} << QStringList{"file:///m", "file:///%FF"};
    }

    void itemsAndFolders()
    {
        QFETCH(QStringList, paths);
        QTEST(DesktopFileRevealer::itemUris(paths), "uris");
        QStringList folders;
        for (const QUrl& folder : DesktopFileRevealer::parentFolders(paths))
            folders.append(folder.toString(QUrl::FullyEncoded));
        QTEST(folders, "folders");
    }

    void theFileManagerShowsTheFiles()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.isConnected());
        FakeFileManager manager;
        QVERIFY(bus.registerObject("/org/freedesktop/FileManager1", &manager, QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService("org.freedesktop.FileManager1"));

        QList<QUrl> opened;
        DesktopFileRevealer revealer([&opened](const QUrl& folder) {
            opened.append(folder);
            return true;
        });
        revealer.reveal({"/m/a.mp3", "/m/b.mp3"}, {});
        QTRY_COMPARE(manager.shown.size(), 1);
        QCOMPARE(manager.shown[0], (QStringList{"file:///m/a.mp3", "file:///m/b.mp3"}));
        QVERIFY(opened.isEmpty());

        bus.unregisterService("org.freedesktop.FileManager1");
        bus.unregisterObject("/org/freedesktop/FileManager1");
    }

    void withoutAFileManagerTheFoldersOpen()
    {
        QList<QUrl> opened;
        // Nothing opens "/n": the user is told, once.
        DesktopFileRevealer revealer([&opened](const QUrl& folder) {
            opened.append(folder);
            return folder.path() != "/n";
        });
        QStringList failures;
        revealer.reveal({"/m/a.mp3", "/n/b.mp3", "/m/c.mp3", "/n/d.mp3"},
                        [&failures](std::exception_ptr error) { failures.append(describeException(error)); });
        QTRY_COMPARE(opened.size(), 2);
        QCOMPARE(opened, (QList<QUrl>{QUrl::fromLocalFile("/m"), QUrl::fromLocalFile("/n")}));
        QCOMPARE(failures, QStringList{"Could not show the files: no file manager answered, and no application on "
                                       "this system opens folders (/n)."});
    }
};

QTEST_MAIN(TestFileRevealer)
#include "tst_filerevealer.moc"
