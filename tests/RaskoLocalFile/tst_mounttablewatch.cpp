#include "RaskoLocalFile/MountTableWatch.h"

#include <QTest>

using vessa::MountTableWatch;
using State = vessa::MountPoints::FolderState;

Q_DECLARE_METATYPE(State)

namespace {

// A watch that reads `table` (nothing: it cannot be read) and finds every
// folder in the state `disk`, listed when the table names it. The music
// folder "/home/me/Music" is a link to "/data/music".
struct Rig {
    std::optional<QStringList> table;
    State disk;
    MountTableWatch watch{MountTableWatch::Seams{
        [this] { return table; },
        [this](const QString& path, const std::optional<QStringList>& mountPoints) {
            State state = disk;
            state.isListed = mountPoints && mountPoints->contains(path);
            return state;
        },
        [](const QString& folder) { return folder == "/home/me/Music" ? QStringLiteral("/data/music") : folder; },
    }};
};

} // namespace

class TestMountTableWatch : public QObject {
    Q_OBJECT

private slots:
    // What a change of the table says about the folders at or below the
    // music folders, named from the music folders as given.
    void changedFolders_data()
    {
        QTest::addColumn<QStringList>("roots");
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QStringList>("away");
        QTest::addColumn<QStringList>("changed");
        const QStringList music{"/music"};
        const QStringList root{"/"};
        const QStringList share{"/", "/music/share"};
        QTest::newRow("share mounted") << music << root << share << QStringList() << QStringList{"/music/share"};
        QTest::newRow("share unmounted") << music << share << root << QStringList() << QStringList{"/music/share"};
        QTest::newRow("on the music folder itself")
            << music << root << QStringList{"/", "/music"} << QStringList() << QStringList{"/music"};
        QTest::newRow("a second mount hiding the first")
            << music << share << (share + QStringList{"/music/share"}) << QStringList() << QStringList{"/music/share"};
        QTest::newRow("the hiding mount gone")
            << music << (share + QStringList{"/music/share"}) << share << QStringList() << QStringList{"/music/share"};
        QTest::newRow("outside the music folders")
            << music << root << QStringList{"/", "/mnt/usb", "/musical/share", "/"} << QStringList() << QStringList();
        QTest::newRow("in table order, each once")
            << QStringList{"/music", "/music/b"} << root << QStringList{"/", "/music/b", "/music/a"} << QStringList()
            << QStringList{"/music/b", "/music/a"};
        QTest::newRow("music folder given through a link")
            << QStringList{"/home/me/Music"} << root << QStringList{"/", "/data/music/share"} << QStringList()
            << QStringList{"/home/me/Music/share"};
        QTest::newRow("an away mount point mounted again is left to back()")
            << music << root << QStringList{"/", "/music/share", "/music/other"} << QStringList{"/music/share"}
            << QStringList{"/music/other"};
    }
    void changedFolders()
    {
        QFETCH(QStringList, roots);
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(QStringList, away);
        QFETCH(QStringList, changed);
        Rig rig;
        rig.table = QStringList(before);
        rig.watch.follow(roots);
        QVERIFY(rig.watch.tableFd() >= 0);
        rig.watch.setAway(away, {});
        rig.table = QStringList(after);
        QCOMPARE(rig.watch.changedFolders(), changed);
        QCOMPARE(rig.watch.changedFolders(), QStringList()); // each change is told once
    }

    // A table that cannot be read tells nothing; the next one is compared
    // with the last that could be read.
    void unreadableTable()
    {
        Rig rig;
        rig.table = QStringList({"/", "/music/share"});
        rig.watch.follow({"/music"});
        rig.table.reset();
        QCOMPARE(rig.watch.changedFolders(), QStringList());
        rig.table = QStringList({"/"});
        QCOMPARE(rig.watch.changedFolders(), QStringList{"/music/share"});
        rig.watch.follow({});
        QCOMPARE(rig.watch.tableFd(), -1);
    }

    // Which folders are waited for as mount points away.
    void setAway_data()
    {
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QStringList>("missing");
        QTest::addColumn<QStringList>("away");
        QTest::newRow("below a music folder")
            << QStringList{"/music/share"} << QStringList() << QStringList{"/music/share"};
        QTest::newRow("a music folder") << QStringList{"/music"} << QStringList() << QStringList{"/music"};
        QTest::newRow("given with a slash, twice")
            << QStringList{"/music/share/", "/music/share"} << QStringList() << QStringList{"/music/share"};
        QTest::newRow("outside the music folders")
            << QStringList{"/musical/share", "/elsewhere"} << QStringList() << QStringList();
        QTest::newRow("a missing music folder is waited for as such")
            << QStringList{"/other", "/music/share"} << QStringList{"/other"} << QStringList{"/music/share"};
    }
    void setAway()
    {
        QFETCH(QStringList, folders);
        QFETCH(QStringList, missing);
        QFETCH(QStringList, away);
        Rig rig;
        rig.table = QStringList({"/"});
        rig.watch.follow({"/music", "/other"});
        rig.watch.setAway({"/music/before"}, {});
        rig.watch.setAway(folders, missing);
        QCOMPARE(rig.watch.away(), away);
        rig.watch.follow({"/music", "/other"});
        QVERIFY(rig.watch.away().isEmpty());
    }

    // Whether a mount point that is away has something mounted on it again.
    void back_data()
    {
        QTest::addColumn<QStringList>("table");
        QTest::addColumn<State>("disk");
        QTest::addColumn<bool>("back");
        const QStringList listed{"/", "/music/share"};
        const QStringList root{"/"};
        QTest::newRow("mounted again") << listed << State{true, false} << true;
        QTest::newRow("bound again from the same disk") << listed << State{true, true} << true;
        QTest::newRow("a folder on the disk above, whatever it holds") << root << State{true, true} << false;
        QTest::newRow("folder gone") << root << State{false, false, true} << false;
        QTest::newRow("on another device, table unreadable") << QStringList() << State{true, false} << true;
    }
    void back()
    {
        QFETCH(QStringList, table);
        QFETCH(State, disk);
        QFETCH(bool, back);
        Rig rig;
        rig.table = QStringList({"/"});
        rig.watch.follow({"/music"});
        rig.watch.setAway({"/music/share"}, {});
        rig.disk = disk;
        if (table.isEmpty())
            rig.table.reset();
        else
            rig.table = QStringList(table);
        QVERIFY(!rig.watch.back("/music/other")); // not away
        QCOMPARE(rig.watch.back("/music/share"), back);
        QCOMPARE(rig.watch.away(), back ? QStringList() : QStringList{"/music/share"});
    }
};

QTEST_GUILESS_MAIN(TestMountTableWatch)
#include "tst_mounttablewatch.moc"
