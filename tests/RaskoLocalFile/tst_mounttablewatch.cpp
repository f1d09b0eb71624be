#include "RaskoLocalFile/MountTableWatch.h"

#include <QTest>

using vessa::MountTableWatch;

class TestMountTableWatch : public QObject {
    Q_OBJECT

private slots:
    // What a change of the table tells about the folders at or below the
    // music folders "/music" and "/other" (missing, so waited for as such),
    // and whether "/music/share", if waited for, has something mounted on it
    // again (on the disk, every folder lies on the device above it).
    void decisions_data()
    {
        QTest::addColumn<QStringList>("before"); // the mount points
        QTest::addColumn<QStringList>("away");   // handed to setAway()
        QTest::addColumn<QStringList>("after");  // none: the table cannot be read
        QTest::addColumn<QStringList>("changed");
        QTest::addColumn<bool>("back");
        const QStringList root{"/"};
        const QStringList share{"/", "/music/share"};
        QTest::newRow("mounted") << root << QStringList() << share << QStringList{"/music/share"} << false;
        QTest::newRow("unmounted") << share << QStringList() << root << QStringList{"/music/share"} << false;
        QTest::newRow("a second mount hiding the first")
            << share << QStringList() << (share + share) << QStringList{"/music/share"} << false;
        QTest::newRow("in table order, each once, none outside")
            << root << QStringList() << QStringList{"/", "/music/b", "/musical/x", "/music/a", "/music/b"}
            << QStringList{"/music/b", "/music/a"} << false;
        QTest::newRow("unreadable: nothing told, the last table read kept")
            << share << QStringList() << QStringList() << QStringList() << false;
        QTest::newRow("an away mount point mounted again is left to back()")
            << root << QStringList{"/music/share/", "/music/share", "/musical/share", "/other"}
            << QStringList{"/", "/music/share", "/music/other"} << QStringList{"/music/other"} << true;
        QTest::newRow("away, nothing mounted yet")
            << root << QStringList{"/music/share"} << root << QStringList() << false;
    }
    void decisions()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, away);
        QFETCH(QStringList, after);
        QFETCH(bool, back);
        std::optional<QStringList> table = before;
        MountTableWatch watch(MountTableWatch::Seams{
            [&table] { return table; },
            [](const QString& path, const std::optional<QStringList>& mountPoints) {
                return vessa::MountPoints::FolderState{true, true, false, mountPoints && mountPoints->contains(path)};
            },
            [](const QString& folder) { return folder; },
        });
        watch.follow({"/music", "/other"});
        QVERIFY(watch.tableFd() >= 0);
        watch.setAway(away, {"/other"});
        QCOMPARE(watch.away(), away.isEmpty() ? QStringList() : QStringList{"/music/share"});
        if (!after.isEmpty())
            table = after;
        else
            table.reset();
        QTEST(watch.changedFolders(), "changed");
        table = after.isEmpty() ? before : after;
        QCOMPARE(watch.changedFolders(), QStringList()); // told once; compared with the last table read
        QVERIFY(!watch.back("/music/a"));                // not away
        QCOMPARE(watch.back("/music/share"), back);
        QCOMPARE(watch.away().isEmpty(), away.isEmpty() || back);
        watch.follow({});
        QCOMPARE(watch.tableFd(), -1);
        QVERIFY(watch.away().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestMountTableWatch)
#include "tst_mounttablewatch.moc"
