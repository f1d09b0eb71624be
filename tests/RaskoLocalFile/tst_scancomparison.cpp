// A scan's comparison of the files it lists with the index, whenever the
// index arrives, and the compact table of indexed dates it compares with.

#include "RaskoLocalFile/IndexedFileDates.h"
#include "RaskoLocalFile/ScanComparison.h"
#include "VessaCore/FileNameBytes.h"
#include "tests/support/TextError.h"

#include <QtTest>

#include <algorithm>
#include <future>

using namespace vessa;

namespace {

using Mark = MediaDatabase::FileMark;

const QDateTime date = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000, Qt::UTC);
const QString notUtf8 = pathFromBytes("/m/Caf\xe9.wav");

FileEntry listed(const QString& path, qint64 size = 1)
{
    return FileEntry{path, path, path.section(u'.', -1).toLower(), date, size};
}

// What the index holds: files at their dates, marks of files refused, and
// an archive whose one member was read at its date and size.
ScanComparison::Stored stored()
{
    ScanComparison::Stored index;
    for (const QByteArray path : {"/m/same.wav", "/m/gone.wav", "/kept/x.wav", "/m/Live.zip::a.mp3"})
        index.dates.add(path, date);
    index.dates.add("/m/Caf\xe9.wav", date);
    index.dates.add("/m/older.wav", date.addSecs(-1));
    for (const Mark& mark :
         {Mark{"/m/bad.wav", 10, date, Mark::Kind::refused}, Mark{"/m/rebad.wav", 10, date, Mark::Kind::refused},
          Mark{"/away/lost.wav", 10, date, Mark::Kind::refused}, Mark{"/kept/y.wav", 10, date, Mark::Kind::refused},
          Mark{"/m/Live.zip", 100, date, Mark::Kind::completeArchive}})
        index.marks.insert(mark.filePath, mark);
    index.archives = MusicFolderEnumerator::indexedArchives(index.dates, index.marks);
    return index;
}

QStringList paths(const QList<FileEntry>& entries)
{
    QStringList result;
    for (const FileEntry& entry : entries)
        result.append(entry.path);
    return result;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

class TestScanComparison : public QObject {
    Q_OBJECT

private slots:
    // Files listed before the index arrives wait for it: the outcome is the
    // same whenever it comes, and a file listed twice counts once.
    void outcomeWheneverTheIndexArrives_data()
    {
        QTest::addColumn<int>("arrivesAfter"); // files listed before the index
        QTest::addColumn<bool>("twice");       // overlapping folders list each file twice
        QTest::newRow("before the listing") << 0 << false;
        QTest::newRow("during the listing") << 3 << false;
        QTest::newRow("after the listing") << 99 << false;
        QTest::newRow("each file twice, during the listing") << 5 << true;
    }
    void outcomeWheneverTheIndexArrives()
    {
        QFETCH(int, arrivesAfter);
        QFETCH(bool, twice);
        QList<FileEntry> listing{listed("/m/same.wav"),      listed("/m/older.wav"), listed("/m/new.wav"),
                                 listed("/m/Live.zip", 100), listed(notUtf8),        listed("/m/bad.wav", 10),
                                 listed("/m/rebad.wav", 11)};
        if (twice)
            listing += listing;
        std::promise<ScanComparison::Stored> index;
        ScanComparison comparison(index.get_future(), twice, {"wav", "mp3"});
        for (qsizetype i = 0; i < listing.size(); ++i) {
            if (i == arrivesAfter)
                index.set_value(stored());
            comparison.add(listing.at(i));
        }
        if (arrivesAfter >= listing.size())
            index.set_value(stored());
        comparison.finish();

        QCOMPARE(comparison.found(), 7); // the archive's member, not the archive
        QCOMPARE(paths(comparison.takeChanged()), (QStringList{"/m/older.wav", "/m/new.wav", "/m/rebad.wav"}));
        QVERIFY(comparison.takeOpenedArchives().isEmpty());
        QCOMPARE(comparison.vanished({"/kept"}), QStringList{"/m/gone.wav"});
        QCOMPARE(sorted(comparison.vanished({})), (QStringList{"/kept/x.wav", "/m/gone.wav"}));
        QCOMPARE(sorted(comparison.staleMarks({"/kept"})), (QStringList{"/away/lost.wav", "/m/rebad.wav"}));
    }

    void indexThatCannotBeReadFailsTheScan()
    {
        std::promise<ScanComparison::Stored> index;
        ScanComparison comparison(index.get_future(), false, {"wav"});
        comparison.add(listed("/m/a.wav"));
        ScanComparison::Stored failed;
        failed.error = std::make_exception_ptr(test::TextError("database gone"));
        index.set_value(std::move(failed));
        comparison.add(listed("/m/b.wav"));
        QVERIFY_THROWS_EXCEPTION(test::TextError, comparison.finish());
    }

    // Every path of a large table is found, a path given twice once with
    // its later date, and a name that is not UTF-8 by its text.
    void indexedDatesFindEveryPath()
    {
        IndexedFileDates dates;
        constexpr int count = 20'000;
        for (int i = 0; i < count; ++i)
            dates.add(QByteArray("/m/") + QByteArray::number(i) + ".wav", date.addSecs(i));
        dates.add("/m/7.wav", date);
        dates.add("/m/Caf\xe9.wav", date);
        QCOMPARE(dates.size(), count + 1);
        for (int i = 0; i < count; ++i) {
            if (i != 7 && i != 8)
                QCOMPARE(dates.find(QStringLiteral("/m/%1.wav").arg(i)).value_or(QDateTime()), date.addSecs(i));
        }
        QCOMPARE(dates.find("/m/7.wav").value_or(QDateTime()), date);
        QCOMPARE(dates.find(notUtf8).value_or(QDateTime()), date);
        QVERIFY(!dates.find("/m/Caf\u00e9.wav"));
        QCOMPARE(dates.notFound(), QStringList{"/m/8.wav"});
        int visited = 0;
        dates.forEach([&visited](QByteArrayView, const QDateTime&) { ++visited; });
        QCOMPARE(visited, count + 1);
    }
};

QTEST_GUILESS_MAIN(TestScanComparison)
#include "tst_scancomparison.moc"
