// The track table's pure parts: the duration text, the change detection
// behind setRows, the drop and menu decisions and the column limits.

#include "Vessa/Views/TrackTable/TrackContextMenu.h"
#include "Vessa/Views/TrackTable/TrackDropDecision.h"
#include "Vessa/Views/TrackTable/TrackDuration.h"
#include "Vessa/Views/TrackTable/TrackRowsChange.h"
#include "Vessa/Views/TrackTable/TrackTableColumn.h"
#include "tests/VessaViews/TrackRowFixture.h"

#include <QMenu>
#include <QTest>

#include <cmath>
#include <limits>

using namespace vessa;
using vessa::test::numberedRows;

Q_DECLARE_METATYPE(std::optional<double>)

class TrackTableVocabularyTest : public QObject {
    Q_OBJECT
private slots:
    void durationText_data()
    {
        QTest::addColumn<std::optional<double>>("seconds");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absent") << std::optional<double>() << QString();
        QTest::newRow("zero") << std::optional<double>(0.0) << QStringLiteral("0:00");
        QTest::newRow("just under a minute") << std::optional<double>(59.9) << QStringLiteral("0:59");
        QTest::newRow("one minute one") << std::optional<double>(61.0) << QStringLiteral("1:01");
        QTest::newRow("no hour field") << std::optional<double>(3725.0) << QStringLiteral("62:05");
        QTest::newRow("long") << std::optional<double>(360000.4) << QStringLiteral("6000:00");
        QTest::newRow("NaN") << std::optional<double>(std::nan("")) << QString();
        QTest::newRow("infinite") << std::optional<double>(std::numeric_limits<double>::infinity()) << QString();
        QTest::newRow("minus infinite") << std::optional<double>(-std::numeric_limits<double>::infinity()) << QString();
        QTest::newRow("beyond any count") << std::optional<double>(1e300) << QString();
    }
    void durationText()
    {
        QFETCH(std::optional<double>, seconds);
        QFETCH(QString, expected);
        QCOMPARE(formatTrackDuration(seconds), expected);
    }

    void rowsChange()
    {
        using K = TrackRowsChange::Kind;
        const TrackRows three = numberedRows(3);
        QCOMPARE(TrackRowsChange::between({}, three).kind, K::Reset);
        QCOMPARE(TrackRowsChange::between(numberedRows(300), numberedRows(50)).kind, K::Reset);
        QCOMPARE(TrackRowsChange::between(three, numberedRows(4)).kind, K::Reset);
        QCOMPARE(TrackRowsChange::between(three, three).kind, K::None);

        // Texts and the owner's payload alone redraw nothing.
        TrackRows retitled = three;
        retitled[1].title = QStringLiteral("Other");
        retitled[1].index = 7;
        retitled[2].userInfo = 5;
        QCOMPARE(TrackRowsChange::between(three, retitled).kind, K::None);

        // Each mark, the track and the id refresh exactly the rows that differ.
        const QList<std::function<void(TrackRow&)>> edits{
            [](TrackRow& r) { r.isPlaying = true; },
            [](TrackRow& r) { r.isResolvable = false; },
            [](TrackRow& r) { r.isDownloadable = true; },
            [](TrackRow& r) { r.ref = TrackRef(QStringLiteral("vez:track:x:y:z")); },
            [](TrackRow& r) { r.id = TrackRowId(qint64(99)); },
        };
        for (const auto& edit : edits) {
            TrackRows changed = three;
            edit(changed[1]);
            const TrackRowsChange change = TrackRowsChange::between(three, changed);
            QCOMPARE(change.kind, K::Refresh);
            QCOMPARE(change.firstRow, 1);
            QCOMPARE(change.lastRow, 1);
        }
        TrackRows twoChanged = three;
        twoChanged[0].isPlaying = true;
        twoChanged[2].isPlaying = true;
        const TrackRowsChange span = TrackRowsChange::between(three, twoChanged);
        QCOMPARE(span.firstRow, 0);
        QCOMPARE(span.lastRow, 2);
    }

    void rowIds()
    {
        const TrackRef ref(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"));
        QCOMPARE(TrackRowId(ref), TrackRowId(TrackRef(ref.uri())));
        QVERIFY(!(TrackRowId(qint64(1)) == TrackRowId(qint64(2))));
        QVERIFY(!(TrackRowId(qint64(0)) == TrackRowId(TrackRef())));
        const TrackSelection ids{TrackRowId(ref), TrackRowId(qint64(3))};
        QVERIFY(ids.contains(TrackRowId(TrackRef(ref.uri()))));
        QVERIFY(ids.contains(TrackRowId(qint64(3))));
        QVERIFY(!ids.contains(TrackRowId(qint64(4))));
    }

    void dropOperation_data()
    {
        QTest::addColumn<bool>("reorderable");
        QTest::addColumn<bool>("droppable");
        QTest::addColumn<bool>("fromThisTable");
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<bool>("addsTracks");
        QTest::addColumn<int>("expected");
        const int none = int(TrackDropDecision::Operation::None);
        const int move = int(TrackDropDecision::Operation::Move);
        const int copy = int(TrackDropDecision::Operation::Copy);
        QTest::newRow("plain table takes nothing") << false << false << true << false << true << none;
        QTest::newRow("reorder within") << true << true << true << false << true << move;
        QTest::newRow("ctrl forces a copy within") << true << true << true << true << true << copy;
        QTest::newRow("from elsewhere copies") << true << true << false << false << true << copy;
        QTest::newRow("reorder-only table, from elsewhere") << true << false << false << false << true << none;
        QTest::newRow("reorder-only table, ctrl within") << true << false << true << true << true << none;
        QTest::newRow("drop-only table, within") << false << true << true << false << true << copy;
        QTest::newRow("nothing to add from elsewhere") << true << true << false << false << false << none;
        QTest::newRow("nothing to add, ctrl") << true << true << false << true << false << none;
    }
    void dropOperation()
    {
        QFETCH(bool, reorderable);
        QFETCH(bool, droppable);
        QFETCH(bool, fromThisTable);
        QFETCH(bool, ctrl);
        QFETCH(bool, addsTracks);
        QFETCH(int, expected);
        TrackTableConfiguration configuration;
        configuration.reorderable = reorderable;
        configuration.droppable = droppable;
        using namespace TrackDropDecision;
        const Operation result = operation(configuration, fromThisTable ? Origin::ThisTable : Origin::Elsewhere,
                                           ctrl ? Copying::Forced : Copying::AsProposed,
                                           addsTracks ? Payload::Tracks : Payload::NothingToAdd);
        QCOMPARE(int(result), expected);
    }

    void dropDestination_data()
    {
        QTest::addColumn<int>("rowUnderPointer");
        QTest::addColumn<int>("pointerY");
        QTest::addColumn<int>("expected");
        // Row 2 spans y 48..71.
        QTest::newRow("upper half: above the row") << 2 << 50 << 2;
        QTest::newRow("lower half: below the row") << 2 << 65 << 3;
        QTest::newRow("past the end") << -1 << 500 << 10;
        QTest::newRow("stale row beyond the count") << 12 << 290 << 10;
    }
    void dropDestination()
    {
        QFETCH(int, rowUnderPointer);
        QFETCH(int, pointerY);
        QFETCH(int, expected);
        const QRect rowRect(0, rowUnderPointer * 24, 300, 24);
        QCOMPARE(TrackDropDecision::destinationRow(rowUnderPointer, rowRect, pointerY, 10), expected);
    }

    void menuRows_data()
    {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<int>("clicked");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("inside a selection of three") << QList<int>{1, 4, 6} << 4 << QList<int>{1, 4, 6};
        QTest::newRow("outside the selection") << QList<int>{1, 4, 6} << 5 << QList<int>{5};
        QTest::newRow("the one selected row") << QList<int>{4} << 4 << QList<int>{4};
        QTest::newRow("nothing selected") << QList<int>{} << 0 << QList<int>{0};
        QTest::newRow("below the rows") << QList<int>{1, 2} << -1 << QList<int>{};
        QTest::newRow("stale clicked row") << QList<int>{1, 2} << 8 << QList<int>{};
        QTest::newRow("stale selected rows dropped") << QList<int>{9, 2, 1} << 2 << QList<int>{1, 2};
    }
    void menuRows()
    {
        QFETCH(QList<int>, selected);
        QFETCH(int, clicked);
        QFETCH(QList<int>, expected);
        QCOMPARE(TrackContextMenu::rowsToActOn(selected, clicked, 8), expected);
    }

    void menuTree()
    {
        QStringList ran;
        const QList<TrackContextMenuItem> items{
            TrackContextMenuItem::button(QStringLiteral("Play"), QStringLiteral("play.fill"), std::nullopt,
                                         [&] { ran << QStringLiteral("play"); }),
            TrackContextMenuItem::divider(),
            TrackContextMenuItem::submenu(
                QStringLiteral("Add to Playlist"), QStringLiteral("text.badge.plus"),
                {TrackContextMenuItem::button(QStringLiteral("Mix"), std::nullopt, std::nullopt,
                                              [&] { ran << QStringLiteral("mix"); }),
                 TrackContextMenuItem::submenu(
                     QStringLiteral("Deeper"), std::nullopt,
                     {TrackContextMenuItem::button(QStringLiteral("Bottom"), std::nullopt,
                                                   TrackContextMenuItem::ButtonRole::Destructive,
                                                   [&] { ran << QStringLiteral("bottom"); })})}),
        };
        QMenu menu;
        TrackContextMenu::populate(menu, items);
        const QList<QAction*> top = menu.actions();
        QCOMPARE(top.size(), 3);
        QCOMPARE(top[0]->text(), QStringLiteral("Play"));
        QVERIFY(!top[0]->icon().isNull());
        QVERIFY(top[1]->isSeparator());
        QMenu* add = top[2]->menu();
        QVERIFY(add);
        QCOMPARE(add->title(), QStringLiteral("Add to Playlist"));
        QVERIFY(!add->icon().isNull());
        QMenu* deeper = add->actions().at(1)->menu();
        QVERIFY(deeper);
        QCOMPARE(deeper->actions().size(), 1);

        top[0]->trigger();
        add->actions().at(0)->trigger();
        deeper->actions().at(0)->trigger();
        QCOMPARE(ran, (QStringList{QStringLiteral("play"), QStringLiteral("mix"), QStringLiteral("bottom")}));

        QMenu empty;
        TrackContextMenu::populate(empty, {});
        QVERIFY(empty.isEmpty());
    }

    void columns()
    {
        const QList<TrackTableColumn> plain = TrackTableColumn::columns(false);
        QStringList identifiers;
        for (const TrackTableColumn& column : plain)
            identifiers << column.identifier;
        QCOMPARE(identifiers, (QStringList{"playing", "title", "artist", "album", "time"}));
        const QList<TrackTableColumn> numbered = TrackTableColumn::columns(true);
        QCOMPARE(numbered.size(), 6);
        QCOMPARE(numbered[1].title, QStringLiteral("#"));
        QCOMPARE(numbered[1].sortKey, QStringLiteral("trackNumber"));
        QCOMPARE(numbered[0].sortKey, QStringLiteral("index"));
        QVERIFY(numbered[0].title.isEmpty());

        const TrackTableColumn& playing = plain[0];
        QCOMPARE(playing.clampedWidth(10), 24);
        QCOMPARE(playing.clampedWidth(30), 30);
        QCOMPARE(playing.clampedWidth(100), 36);
        const TrackTableColumn& title = plain[1];
        QVERIFY(title.isFlexible());
        QCOMPARE(title.clampedWidth(20), 60);
        QCOMPARE(title.clampedWidth(5000), 5000);
        const TrackTableColumn& time = plain[4];
        QCOMPARE(time.clampedWidth(39), 40);
        QCOMPARE(time.clampedWidth(71), 70);
    }
};

QTEST_MAIN(TrackTableVocabularyTest)
#include "tst_tracktablevocabulary.moc"
