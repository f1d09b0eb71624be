// The track table as its owners use it: rows in, gestures out, the
// selection kept by id in both directions, drops and context menus.

#include "Vessa/App/Library/TrackDragPayload.h"
#include "Vessa/Views/TrackTable/TrackCellDelegate.h"
#include "Vessa/Views/TrackTable/TrackTable.h"
#include "Vessa/Views/TrackTable/TrackTableModel.h"
#include "Vessa/Views/TrackTable/TrackTableView.h"
#include "tests/VessaViews/TrackRowFixture.h"
#include "tests/support/FileFixture.h"
#include "tests/support/ImageFixture.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <algorithm>

using namespace vessa;
using vessa::test::numberedRows;
using vessa::test::rowsFor;

namespace {

QList<int> selectedRows(const TrackTable& table)
{
    QList<int> rows;
    for (const QModelIndex& index : table.view()->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

QPoint centreOfRow(const TrackTable& table, int row)
{
    const int titleColumn = table.model()->columnOf(TrackTableColumn::Kind::Title);
    return table.view()->visualRect(table.model()->index(row, titleColumn)).center();
}

void clickRow(TrackTable& table, int row, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mouseClick(table.view()->viewport(), Qt::LeftButton, modifiers, centreOfRow(table, row));
}

// A window holding a table, recording the keys the table lets through.
class KeyCatcher : public QWidget {
public:
    KeyCatcher() : table(new TrackTable({}, this))
    {
        resize(400, 300);
        show();
    }

    TrackTable* table;
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys << event->key(); }
};

QMimeData* urlData(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

} // namespace

class TrackTableTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TrackTable> makeTable(TrackTableConfiguration configuration = {})
    {
        auto table = std::make_unique<TrackTable>(std::move(configuration));
        table->resize(640, 400);
        table->show();
        if (!QTest::qWaitForWindowExposed(table.get()))
            qWarning("window not exposed");
        return table;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void selectionFollowsIdsThroughResort()
    {
        auto table = makeTable();
        const QStringList titles{"a", "b", "c", "d", "e", "f", "g", "h"};
        table->setRows(rowsFor(titles));
        QSignalSpy announced(table.get(), &TrackTable::selectionChanged);

        clickRow(*table, 2);
        clickRow(*table, 5, Qt::ControlModifier);
        QCOMPARE(announced.size(), 2);
        const TrackSelection ids = announced.last().at(0).value<TrackSelection>();
        QCOMPARE(ids, (TrackSelection{table->rows()[2].id, table->rows()[5].id}));
        QCOMPARE(table->selectedIds(), ids);

        // The owner re-sorts, descending: "c" and "f" move to rows 5 and 2 ...
        QStringList reversed = titles;
        std::reverse(reversed.begin(), reversed.end());
        QList<qsizetype> indexes{7, 6, 5, 4, 3, 2, 1, 0};
        table->setRows(rowsFor(reversed, indexes));
        // ... stay selected there, and the table does not echo its own update.
        QCOMPARE(selectedRows(*table), (QList<int>{2, 5}));
        QCOMPARE(announced.size(), 2);
    }

    void ownerSelectionIsAppliedAndScrolledTo()
    {
        auto table = makeTable();
        TrackRows rows = numberedRows(2000);
        rows[1500].id = rows[1600].id; // two rows of one track are selected together
        table->setRows(rows);
        QSignalSpy announced(table.get(), &TrackTable::selectionChanged);

        table->setSelectedIds({rows[1600].id});
        QCOMPARE(selectedRows(*table), (QList<int>{1500, 1600}));
        QCOMPARE(announced.size(), 0);
        const QRect first = table->view()->visualRect(table->model()->index(1500, 1));
        QVERIFY(table->view()->viewport()->rect().intersects(first));

        // A filter that hides the row drops it from the table, not from the owner's set.
        table->setRows(numberedRows(10));
        QVERIFY(selectedRows(*table).isEmpty());
        QCOMPARE(table->selectedIds(), TrackSelection{rows[1600].id});
        QCOMPARE(announced.size(), 0);
    }

    void reloadKeepsScrollAndSelection()
    {
        auto table = makeTable();
        table->setRows(numberedRows(1000));
        table->view()->verticalScrollBar()->setValue(400);
        const int scroll = table->view()->verticalScrollBar()->value();
        QVERIFY(scroll > 0);
        const int visibleRow = table->view()->rowAt(100);
        clickRow(*table, visibleRow);
        QSignalSpy announced(table.get(), &TrackTable::selectionChanged);
        QSignalSpy reset(table->model(), &QAbstractItemModel::modelReset);

        table->setRows(numberedRows(1300)); // more than 200 more rows: a reset
        QCOMPARE(reset.size(), 1);
        QCOMPARE(table->view()->verticalScrollBar()->value(), scroll);
        QCOMPARE(selectedRows(*table), QList<int>{visibleRow});
        QCOMPARE(announced.size(), 0);
    }

    void resortScrollsTheSelectionIntoView()
    {
        auto table = makeTable();
        const TrackRows rows = numberedRows(1000);
        table->setRows(rows);
        clickRow(*table, 3);
        QSignalSpy announced(table.get(), &TrackTable::selectionChanged);
        TrackRows reversedRows = rows;
        std::reverse(reversedRows.begin(), reversedRows.end());
        table->setRows(reversedRows);
        QCOMPARE(selectedRows(*table), QList<int>{996});
        QVERIFY(table->view()->viewport()->rect().contains(centreOfRow(*table, 996)));
        QCOMPARE(announced.size(), 0);
    }

    void aRowSourceIsAskedOnlyForTheRowsInUse()
    {
        // 100,000 rows, each made when asked for; ids cost no row.
        struct Source : TrackRowSource {
            mutable int made = 0;
            qsizetype size() const override { return 100000; }
            TrackRow row(qsizetype position) const override
            {
                ++made;
                TrackRow row = rowsFor({QString::number(position)}).first();
                row.id = id(position);
                row.index = position;
                return row;
            }
            TrackRowId id(qsizetype position) const override { return TrackRowId(position); }
        };
        auto table = makeTable();
        auto source = std::make_shared<Source>();
        table->setRowSource(source);
        table->view()->viewport()->repaint();
        table->setSelectedIds({TrackRowId(99990)});
        table->view()->viewport()->repaint();
        QCOMPARE(selectedRows(*table), QList<int>{99990});
        QVERIFY(table->view()->viewport()->rect().contains(centreOfRow(*table, 99990)));
        QVERIFY2(source->made < 2000, qPrintable(QString::number(source->made)));

        QList<qsizetype> played;
        table->setCallbacks({.onPlay = [&](qsizetype index) { played.append(index); }});
        table->handleDoubleClick(99990);
        QCOMPARE(played, QList<qsizetype>{99990});
    }

    void modelUpdates()
    {
        auto table = makeTable();
        TrackTableModel* model = table->model();
        table->setRows(numberedRows(300));
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);

        TrackRows fifty = numberedRows(50);
        table->setRows(fifty);
        QCOMPARE(reset.size(), 1);
        QCOMPARE(changed.size(), 0);

        TrackRows playing = fifty;
        playing[7].isPlaying = true;
        table->setRows(playing);
        QCOMPARE(reset.size(), 1);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed[0][0].toModelIndex().row(), 7);
        QCOMPARE(changed[0][1].toModelIndex().row(), 7);

        // Only the selection moves: nothing is redrawn.
        table->setSelectedIds({playing[3].id});
        table->setRows(playing);
        QCOMPARE(reset.size(), 1);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(selectedRows(*table), QList<int>{3});
    }

    void cells()
    {
        auto table = makeTable(TrackTableConfiguration{.showTrackNumberColumn = true});
        TrackRows rows = rowsFor({"One", "Two"});
        rows[0].isPlaying = true;
        rows[0].trackNumberDisplay = QStringLiteral("1");
        rows[1].isResolvable = false;
        rows[1].duration.reset();
        table->setRows(rows);
        const TrackTableModel* model = table->model();
        auto cell = [&](int row, TrackTableColumn::Kind kind, int role) {
            return model->data(model->index(row, model->columnOf(kind)), role);
        };
        using K = TrackTableColumn::Kind;
        QCOMPARE(cell(0, K::TrackNumber, Qt::DisplayRole).toString(), QStringLiteral("1"));
        QCOMPARE(cell(0, K::Time, Qt::DisplayRole).toString(), QStringLiteral("3:00"));
        QCOMPARE(cell(1, K::Time, Qt::DisplayRole).toString(), QString());
        QCOMPARE(cell(0, K::Title, Qt::FontRole).value<QFont>().weight(), QFont::DemiBold);
        QCOMPARE(cell(1, K::Title, Qt::FontRole).value<QFont>().weight(), QFont::Normal);

        const TrackTableStyle style(table->view()->palette(), table->view()->font());
        QCOMPARE(cell(0, K::Title, Qt::ForegroundRole).value<QColor>(), style.labelColor());
        QCOMPARE(cell(0, K::Artist, Qt::ForegroundRole).value<QColor>(), style.secondaryColor());
        QCOMPARE(cell(0, K::Time, Qt::ForegroundRole).value<QColor>(), style.secondaryColor());
        for (K kind : {K::TrackNumber, K::Title, K::Artist, K::Album, K::Time})
            QCOMPARE(cell(1, kind, Qt::ForegroundRole).value<QColor>(), style.tertiaryColor());

        // Digits of the number columns all take one width.
        const QFontMetricsF digits(cell(0, K::Time, Qt::FontRole).value<QFont>());
        QCOMPARE(digits.horizontalAdvance(QStringLiteral("1111")), digits.horizontalAdvance(QStringLiteral("8888")));
    }

    void columnsAndWidths()
    {
        auto table = makeTable(TrackTableConfiguration{.showTrackNumberColumn = true});
        QHeaderView* header = table->view()->horizontalHeader();
        QCOMPARE(header->count(), 6);
        QCOMPARE(header->sectionSize(0), 28);
        QVERIFY(header->sectionSize(1) >= 40);
        QCOMPARE(header->sectionSize(5), 50);
        QCOMPARE(table->view()->verticalHeader()->defaultSectionSize(), 24);
        QVERIFY(header->sectionSize(2) >= 60);

        header->resizeSection(2, 10);
        QCOMPARE(header->sectionSize(2), 60);
        header->resizeSection(5, 200);
        QCOMPARE(header->sectionSize(5), 70);
        header->resizeSection(0, 5);
        QCOMPARE(header->sectionSize(0), 24);

        // A disc-track number fits its column unelided.
        TrackRows rows = rowsFor({"One", "Two"});
        rows[0].trackNumberDisplay = QStringLiteral("2-05");
        rows[1].trackNumberDisplay = QStringLiteral("12-05");
        const QAbstractItemView* view = table->view();
        for (int row = 0; row < 2; ++row) {
            table->setRows(rows.mid(row, 1));
            QTRY_COMPARE(table->model()->rowCount(), 1);
            QVERIFY2(view->sizeHintForColumn(1) <= header->sectionSize(1),
                     qPrintable(QStringLiteral("%1 needs %2, the column is %3")
                                    .arg(rows[row].trackNumberDisplay)
                                    .arg(view->sizeHintForColumn(1))
                                    .arg(header->sectionSize(1))));
        }

        // The flexible columns share the width the table gains.
        const int before = header->sectionSize(3);
        table->resize(1000, 400);
        QTRY_VERIFY(header->sectionSize(3) > before);
    }

    void deleteReportsOwnerIndexes_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Delete") << int(Qt::Key_Delete);
        QTest::newRow("Backspace") << int(Qt::Key_Backspace);
    }
    void deleteReportsOwnerIndexes()
    {
        QFETCH(int, key);
        auto table = makeTable();
        // Sorted by title: the owner's items 4, 0, 3, 1, 2.
        table->setRows(rowsFor({"a", "b", "c", "d", "e"}, {4, 0, 3, 1, 2}));
        QList<QList<qsizetype>> removed;
        table->setCallbacks({.onRemove = [&](const QList<qsizetype>& indexes) { removed << indexes; }});
        clickRow(*table, 2);
        clickRow(*table, 4, Qt::ControlModifier);
        QTest::keyClick(table->view(), Qt::Key(key));
        QCOMPARE(removed, (QList<QList<qsizetype>>{{2, 3}}));
    }

    void deleteWithoutSelectionOrCallbackDoesNothing()
    {
        KeyCatcher window;
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TrackTable* table = window.table;
        table->setRows(rowsFor({"a", "b"}));
        int calls = 0;
        table->setCallbacks({.onRemove = [&](const QList<qsizetype>&) { ++calls; }});
        QTest::keyClick(table->view(), Qt::Key_Delete);
        QCOMPARE(calls, 0);

        table->setCallbacks({});
        clickRow(*table, 0);
        QTest::keyClick(table->view(), Qt::Key_Delete);
        QTest::keyClick(table->view(), Qt::Key_Backspace);
        QVERIFY(window.keys.isEmpty());
        QCOMPARE(selectedRows(*table), QList<int>{0});
    }

    void plainSpaceReachesTheWindow()
    {
        KeyCatcher window;
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TrackTable* table = window.table;
        table->setRows(rowsFor({"a", "b", "c"}));
        clickRow(*table, 1);
        QTest::keyClick(table->view(), Qt::Key_Space);
        QCOMPARE(window.keys, QList<int>{Qt::Key_Space});
        QCOMPARE(selectedRows(*table), QList<int>{1});
    }

    void typingSearchesTitles()
    {
        auto table = makeTable();
        TrackRows rows = rowsFor({"Alpha", "Bravo", "Charlie", "Delta"});
        for (TrackRow& row : rows)
            row.artist = QStringLiteral("Zed");
        table->setRows(rows);
        table->view()->setFocus();
        QTest::keyClicks(table->view(), QStringLiteral("ch"));
        QCOMPARE(table->view()->currentIndex().row(), 2);
        QCOMPARE(selectedRows(*table), QList<int>{2});
    }

    void doubleClickPlaysOwnerIndex()
    {
        auto table = makeTable();
        // A row that cannot be played here still reacts; only its colours differ.
        TrackRows rows = rowsFor({"a", "b", "c"}, {10, 11, 12});
        rows[1].isResolvable = false;
        table->setRows(rows);
        QList<qsizetype> played;
        table->setCallbacks({.onPlay = [&](qsizetype index) { played << index; }});
        QTest::mouseDClick(table->view()->viewport(), Qt::LeftButton, {}, centreOfRow(*table, 1));
        // Below the last row there is nothing to play.
        QTest::mouseDClick(table->view()->viewport(), Qt::LeftButton, {}, QPoint(100, 300));
        QCOMPARE(played, QList<qsizetype>{11});
    }

    void headerClicksReportSortKeys()
    {
        auto table = makeTable(TrackTableConfiguration{.sortable = true});
        table->setRows(rowsFor({"a", "b"}));
        QList<QPair<QString, Qt::SortOrder>> sorts;
        table->setCallbacks({.onSortChanged = [&](const QString& key, Qt::SortOrder order) {
            sorts.append({key, order});
        }});
        QHeaderView* header = table->view()->horizontalHeader();
        QVERIFY(!header->isSortIndicatorShown());
        auto clickHeader = [&](int section) {
            const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                            header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        };
        clickHeader(1);
        QVERIFY(header->isSortIndicatorShown());
        clickHeader(1);
        clickHeader(2);
        clickHeader(0);
        QCOMPARE(sorts, (QList<QPair<QString, Qt::SortOrder>>{{"title", Qt::AscendingOrder},
                                                              {"title", Qt::DescendingOrder},
                                                              {"artist", Qt::AscendingOrder},
                                                              {"index", Qt::AscendingOrder}}));
        // The table never sorts its rows itself.
        QCOMPARE(table->rows()[0].title, QStringLiteral("a"));

        auto fixed = makeTable();
        int calls = 0;
        fixed->setCallbacks({.onSortChanged = [&](const QString&, Qt::SortOrder) { ++calls; }});
        QHeaderView* fixedHeader = fixed->view()->horizontalHeader();
        QTest::mouseClick(fixedHeader->viewport(), Qt::LeftButton, {},
                          QPoint(fixedHeader->sectionViewportPosition(1) + 10, fixedHeader->height() / 2));
        QCOMPARE(calls, 0);
        QVERIFY(!fixedHeader->isSortIndicatorShown());
    }

    void contextMenuActsOnTheRightRows()
    {
        auto table = makeTable();
        table->setRows(rowsFor({"a", "b", "c", "d", "e", "f"}));
        QList<QStringList> askedFor;
        QStringList ran;
        table->setCallbacks({.contextMenuItems = [&](const TrackRows& rows) {
            QStringList titles;
            for (const TrackRow& row : rows)
                titles << row.title;
            askedFor << titles;
            return QList<TrackContextMenuItem>{TrackContextMenuItem::button(
                QStringLiteral("Play Next"), std::nullopt, std::nullopt, [&ran, titles] { ran << titles; })};
        }});
        clickRow(*table, 1);
        clickRow(*table, 3, Qt::ControlModifier);
        clickRow(*table, 4, Qt::ControlModifier);

        // A right click on another row leaves the selection alone ...
        QTest::mousePress(table->view()->viewport(), Qt::RightButton, {}, centreOfRow(*table, 0));
        QTest::mouseRelease(table->view()->viewport(), Qt::RightButton, {}, centreOfRow(*table, 0));
        QCOMPARE(selectedRows(*table), (QList<int>{1, 3, 4}));
        // ... and its menu acts on that row alone; inside the selection, on all of it.
        std::unique_ptr<QMenu> outside = table->contextMenuForRow(0);
        std::unique_ptr<QMenu> inside = table->contextMenuForRow(3);
        QVERIFY(outside && inside);
        QCOMPARE(askedFor, (QList<QStringList>{{"a"}, {"b", "d", "e"}}));
        inside->actions().at(0)->trigger();
        QCOMPARE(ran, (QStringList{"b", "d", "e"}));
        QVERIFY(!table->contextMenuForRow(-1));
        QVERIFY(!table->contextMenuForRow(6));
        outside.reset();
        inside.reset();

        // The real event pops the menu up over the clicked row.
        QContextMenuEvent event(QContextMenuEvent::Mouse, centreOfRow(*table, 4),
                                table->view()->viewport()->mapToGlobal(centreOfRow(*table, 4)));
        QApplication::sendEvent(table->view()->viewport(), &event);
        QCOMPARE(askedFor.last(), (QStringList{"b", "d", "e"}));
        QMenu* popup = table->findChild<QMenu*>();
        QVERIFY(popup);
        QTRY_VERIFY(popup->isVisible());
        popup->close();
    }

    void emptyMenuIsNotShown()
    {
        auto table = makeTable();
        table->setRows(rowsFor({"a"}));
        table->setCallbacks({.contextMenuItems = [](const TrackRows&) { return QList<TrackContextMenuItem>{}; }});
        QVERIFY(!table->contextMenuForRow(0));
    }

    void dragCarriesTheSelectedRows()
    {
        auto table = makeTable();
        table->setRows(rowsFor({"a", "b", "c", "d", "e", "f"}));
        clickRow(*table, 5);
        clickRow(*table, 1, Qt::ControlModifier);
        clickRow(*table, 3, Qt::ControlModifier);
        const QList<int> rows = table->rowsToDrag();
        QCOMPARE(rows, (QList<int>{1, 3, 5}));
        std::unique_ptr<QMimeData> payload(table->dragPayload(rows));
        QVERIFY(payload->hasFormat(QString(trackRefMimeType)));
        const QList<PlaylistTrack> carried = extractPlaylistTracks(*payload, {});
        QCOMPARE(carried.size(), 3);
        QCOMPARE(carried[0].ref, table->rows()[1].ref);
        QCOMPARE(carried[2].ref, table->rows()[5].ref);

        const QPixmap picture = table->dragPicture(1);
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.devicePixelRatio(), 2.0);
        QVERIFY(table->dragPicture(6).isNull());
    }

    void dropsFromElsewhere()
    {
        auto table = makeTable(TrackTableConfiguration{
            .reorderable = true, .droppable = true, .supportedDropExtensions = {"mp3", "flac"}});
        table->setRows(rowsFor({"a", "b", "c", "d"}));
        QList<QPair<QList<PlaylistTrack>, int>> drops;
        table->setCallbacks({.onDrop = [&](const QList<PlaylistTrack>& tracks, int at) {
            drops.append({tracks, at});
        }});
        using Operation = TrackDropDecision::Operation;

        // Track references win over the files the same payload carries.
        const TrackRef dragged(QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z"));
        std::unique_ptr<QMimeData> both(encodeTrackRefs({dragged}));
        both->setUrls({QUrl::fromLocalFile(QStringLiteral("/music/song.mp3"))});
        QVERIFY(table->handleDrop(*both, Operation::Copy, 2));
        QCOMPARE(drops.last().first, QList<PlaylistTrack>{PlaylistTrack(dragged)});
        QCOMPARE(drops.last().second, 2);

        // Files: only the supported extensions, any case.
        QTemporaryDir folder;
        const QStringList paths{folder.filePath("a.mp3"), folder.filePath("cover.jpg"), folder.filePath("b.FLAC")};
        for (const QString& path : paths)
            vessa::test::writeFile(path, {});
        std::unique_ptr<QMimeData> files(urlData(paths));
        QVERIFY(table->handleDrop(*files, Operation::Copy, 4));
        QCOMPARE(drops.last().first.size(), 2);
        QCOMPARE(drops.last().first[0].ref.track(), QStringLiteral("a"));
        QCOMPARE(drops.last().first[1].ref.track(), QStringLiteral("b"));
        QCOMPARE(drops.last().second, 4);

        // Nothing usable: refused, and the owner hears nothing.
        const qsizetype heard = drops.size();
        std::unique_ptr<QMimeData> unusable(urlData({paths[1]}));
        QVERIFY(!table->handleDrop(*unusable, Operation::Copy, 0));
        QMimeData garbage;
        garbage.setData(QString(trackRefMimeType), QByteArray("{not json"));
        QVERIFY(!table->handleDrop(garbage, Operation::Copy, 0));
        QCOMPARE(drops.size(), heard);

        // A table without onDrop takes no copies.
        table->setCallbacks({});
        QVERIFY(!table->handleDrop(*both, Operation::Copy, 0));
    }

    void moveWithinTheTable()
    {
        auto table = makeTable(TrackTableConfiguration{.reorderable = true, .droppable = true});
        table->setRows(rowsFor({"a", "b", "c", "d"}));
        QList<QPair<QList<int>, int>> moves;
        table->setCallbacks({.onReorder = [&](const QList<int>& rows, int at) { moves.append({rows, at}); }});
        using Operation = TrackDropDecision::Operation;
        std::unique_ptr<QMimeData> payload(table->dragPayload({0, 2}));

        // No drag of this table in progress: nothing to move.
        QVERIFY(!table->handleDrop(*payload, Operation::Move, 4));
        table->setDraggedRows({0, 2});
        QVERIFY(table->handleDrop(*payload, Operation::Move, 4));
        QCOMPARE(moves, (QList<QPair<QList<int>, int>>{{{0, 2}, 4}}));
        // Without onReorder the move is still taken, with no effect.
        table->setCallbacks({});
        QVERIFY(table->handleDrop(*payload, Operation::Move, 1));
    }

    void dropEventsThroughTheViewport_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("expected");
        QTest::newRow("upper half of row 1: above it") << 1 << -6 << 1;
        QTest::newRow("lower half of row 1: below it") << 1 << 6 << 2;
        QTest::newRow("past the end") << -1 << 0 << 3;
    }
    void dropEventsThroughTheViewport()
    {
        QFETCH(int, row);
        QFETCH(int, offset);
        QFETCH(int, expected);
        auto table = makeTable(TrackTableConfiguration{.reorderable = true, .droppable = true});
        table->setRows(rowsFor({"a", "b", "c"}));
        QList<int> destinations;
        table->setCallbacks({.onDrop = [&](const QList<PlaylistTrack>&, int at) { destinations << at; }});
        QWidget* viewport = table->view()->viewport();
        const QPoint at = row >= 0 ? centreOfRow(*table, row) + QPoint(0, offset) : QPoint(50, 300);
        std::unique_ptr<QMimeData> payload(encodeTrackRefs({TrackRef(QStringLiteral("vez:track:a:b:c"))}));

        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, payload.get(), Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, payload.get(), Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &move);
        QVERIFY(move.isAccepted());
        QCOMPARE(move.dropAction(), Qt::CopyAction);
        QCOMPARE(table->view()->dropIndicatorRow(), expected);
        QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, payload.get(), Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(destinations, QList<int>{expected});
        QCOMPARE(table->view()->dropIndicatorRow(), -1);
    }

    void tablesThatTakeNoDropsRefuseThem()
    {
        auto table = makeTable();
        table->setRows(rowsFor({"a"}));
        QVERIFY(!table->view()->acceptDrops());
        auto reorderOnly = makeTable(TrackTableConfiguration{.reorderable = true});
        std::unique_ptr<QMimeData> payload(encodeTrackRefs({TrackRef(QStringLiteral("vez:track:a:b:c"))}));
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, payload.get(), Qt::LeftButton, {});
        QApplication::sendEvent(reorderOnly->view()->viewport(), &enter);
        QVERIFY(!enter.isAccepted());
        // Text is not a track.
        auto droppable = makeTable(TrackTableConfiguration{.droppable = true});
        QMimeData text;
        text.setText(QStringLiteral("hello"));
        QDragEnterEvent textEnter(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, {});
        QApplication::sendEvent(droppable->view()->viewport(), &textEnter);
        QVERIFY(!textEnter.isAccepted());
    }

    void rowsFromInsideAGestureWaitForItsEnd()
    {
        auto table = makeTable();
        table->setRows(rowsFor({"a", "b", "c"}));
        qsizetype rowsDuringCallback = -1;
        table->setCallbacks({.onRemove = [&](const QList<qsizetype>& indexes) {
            TrackRows kept;
            for (const TrackRow& row : table->rows()) {
                if (!indexes.contains(row.index))
                    kept << row;
            }
            table->setRows(kept);
            rowsDuringCallback = table->rows().size();
        }});
        clickRow(*table, 1);
        QTest::keyClick(table->view(), Qt::Key_Delete);
        QCOMPARE(rowsDuringCallback, 3);
        QTRY_COMPARE(table->rows().size(), 2);
        QCOMPARE(table->rows()[1].title, QStringLiteral("c"));
    }

    void picture()
    {
        auto table = makeTable(TrackTableConfiguration{.showTrackNumberColumn = true, .sortable = true});
        TrackRows rows = rowsFor(
            {"Opening", "A Long Title That Will Not Fit In Its Column At All", "Cloudy", "Unplayable", "Closing"});
        for (int i = 0; i < rows.size(); ++i)
            rows[i].trackNumberDisplay = QString::number(i + 1);
        rows[0].isPlaying = true;
        rows[2].isDownloadable = true;
        rows[3].isResolvable = false;
        table->setRows(rows);
        table->setSelectedIds({rows[4].id});
        const QImage image = table->grab().toImage();
        QVERIFY(test::savesAsPng(image));
        // The playing mark is drawn in the accent colour in the first column.
        const QRect mark = table->view()->visualRect(table->model()->index(0, 0));
        const QPoint topLeft = table->view()->viewport()->mapTo(table.get(), mark.topLeft());
        bool accentFound = false;
        const QColor accent = table->palette().color(QPalette::Highlight);
        for (int y = topLeft.y(); y < topLeft.y() + mark.height() && !accentFound; ++y) {
            for (int x = topLeft.x(); x < topLeft.x() + mark.width() && !accentFound; ++x) {
                const QColor pixel = image.pixelColor(x * image.devicePixelRatio(), y * image.devicePixelRatio());
                accentFound = qAbs(pixel.hue() - accent.hue()) < 12 && pixel.saturation() > 80;
            }
        }
        QVERIFY(accentFound);

        // Text keeps the cell spacing from the cell's edge, inside the style's
        // own margin; the selection still fills the whole cell.
        const auto pixelAt = [&](QPoint point) {
            point = table->view()->viewport()->mapTo(table.get(), point);
            return image.pixelColor(point * image.devicePixelRatio());
        };
        const int title = table->model()->columnOf(TrackTableColumn::Kind::Title);
        const QRect opening = table->view()->visualRect(table->model()->index(0, title));
        const QColor background = pixelAt(QPoint(opening.left(), opening.center().y()));
        int ink = opening.left();
        while (ink < opening.right() && pixelAt(QPoint(ink, opening.center().y())) == background)
            ++ink;
        const int styleMargin =
            table->view()->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table->view());
        QCOMPARE_GE(ink - opening.left(), TrackCellDelegate::padding.left() + styleMargin + 1);
        const QRect closing = table->view()->visualRect(table->model()->index(4, title));
        QCOMPARE(pixelAt(QPoint(closing.left(), closing.top())),
                 pixelAt(table->view()->visualRect(table->model()->index(4, 0)).topLeft()));
    }
};

QTEST_MAIN(TrackTableTest)
#include "tst_tracktable.moc"
