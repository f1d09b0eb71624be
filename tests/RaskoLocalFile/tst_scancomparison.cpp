#include "RaskoLocalFile/ScanComparison.h"
#include "VessaCore/FileNameBytes.h"
#include "tests/support/TextError.h"

#include <QtTest>

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

// Files at their dates, enough kept ones for the table to grow, refused
// files' marks, and an archive read whole.
ScanComparison::Stored stored()
{
    ScanComparison::Stored index;
    for (int i = 0; i < 20'000; ++i)
        index.dates.add("/kept/" + QByteArray::number(i), date);
    for (const QByteArray path : {"/m/same.wav", "/m/gone.wav", "/kept/x.wav", "/m/Live.zip::a.mp3", "/m/Caf\xe9.wav"})
        index.dates.add(path, date);
    index.dates.add("/m/older.wav", date);
    index.dates.add("/m/older.wav", date.addSecs(-1)); // the last one counts
    for (const char* path : {"/m/bad.wav", "/m/rebad.wav", "/away/lost.wav", "/kept/y.wav"})
        index.marks.insert(path, Mark{path, 10, date, Mark::Kind::refused});
    index.marks.insert("/m/Live.zip", Mark{"/m/Live.zip", 100, date, Mark::Kind::completeArchive});
    index.archives = MusicFolderEnumerator::indexedArchives(index.dates, index.marks);
    return index;
}

} // namespace

class TestScanComparison : public QObject {
    Q_OBJECT

private slots:
    void outcomeWheneverTheIndexArrives_data()
    {
        QTest::addColumn<int>("arrivesAfter"); // files listed before the index
        QTest::addColumn<bool>("twice");       // overlapping folders list each file twice
        QTest::addColumn<ScanTrigger>("trigger");
        const ScanTrigger automatic = ScanTrigger::automatic;
        QTest::newRow("before the listing") << 0 << false << automatic;
        QTest::newRow("during the listing") << 3 << false << automatic;
        QTest::newRow("after the listing") << 99 << false << automatic;
        QTest::newRow("each file twice, during the listing") << 5 << true << automatic;
        QTest::newRow("asked for by the user: refused files again") << 3 << false << ScanTrigger::user;
    }
    void outcomeWheneverTheIndexArrives()
    {
        QFETCH(int, arrivesAfter);
        QFETCH(bool, twice);
        QFETCH(ScanTrigger, trigger);
        const bool user = trigger == ScanTrigger::user;
        QList<FileEntry> listing{listed("/m/same.wav"),      listed("/m/older.wav"), listed("/m/new.wav"),
                                 listed("/m/Live.zip", 100), listed(notUtf8),        listed("/m/bad.wav", 10),
                                 listed("/m/rebad.wav", 11)};
        if (twice)
            listing += listing;
        std::promise<ScanComparison::Stored> index;
        ScanComparison comparison(index.get_future(), twice, {"wav", "mp3"}, trigger);
        for (qsizetype i = 0; i < listing.size(); ++i) {
            if (i == arrivesAfter)
                index.set_value(stored());
            comparison.add(listing.at(i));
        }
        if (arrivesAfter >= listing.size())
            index.set_value(stored());
        comparison.finish();
        QCOMPARE(comparison.found(), 7); // the archive's member, not the archive
        QStringList changed;
        for (const FileEntry& entry : comparison.takeChanged())
            changed.append(entry.path);
        QCOMPARE(changed, (user ? QStringList{"/m/older.wav", "/m/new.wav", "/m/bad.wav", "/m/rebad.wav"}
                                : QStringList{"/m/older.wav", "/m/new.wav", "/m/rebad.wav"}));
        QVERIFY(comparison.takeOpenedArchives().isEmpty());
        QCOMPARE(comparison.vanished({"/kept"}), QStringList{"/m/gone.wav"});
        QStringList stale = comparison.staleMarks({"/kept"});
        stale.sort();
        QCOMPARE(stale, (user ? QStringList{"/away/lost.wav", "/m/bad.wav", "/m/rebad.wav"}
                              : QStringList{"/away/lost.wav", "/m/rebad.wav"}));
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
};

QTEST_GUILESS_MAIN(TestScanComparison)
#include "tst_scancomparison.moc"
