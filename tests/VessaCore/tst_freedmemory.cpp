#include "VessaCore/FreedMemory.h"
#include "VessaCore/ListSizes.h"
#include "tests/support/AllocatorProbe.h"

#include <QFile>
#include <QThreadPool>
#include <QtTest>

#include <functional>
#include <memory>
#include <vector>

namespace {

qint64 residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

} // namespace

class FreedMemoryTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        QSKIP("the sanitizer's own allocator keeps freed memory in quarantine");
#endif
    }

    // Lists from a quarter of a megabyte up stay returnable, whatever
    // larger block was freed before.
    void largeBlocksStayMappedOnTheirOwn()
    {
        vessa::FreedMemory::setAllocatorPolicy();
        const std::optional<bool> mapped =
            vessa::test::mappedOnItsOwnAfterALargerFree(vessa::FreedMemory::separateMappingThreshold);
        if (!mapped)
            QSKIP("the allocator's policy is glibc's");
        QVERIFY(*mapped);
    }

    // A library's worth of small blocks freed below one that stays: the heap
    // cannot shrink from its top, so only releasing the free pages inside it
    // gives the memory back; a small list is not worth the walk.
    void freedBlocksLeaveTheProcess_data()
    {
        QTest::addColumn<std::function<void()>>("release");
        QTest::addColumn<bool>("released");
        QTest::newRow("released now") << std::function<void()>(vessa::FreedMemory::releaseNow) << true;
        QTest::newRow("after a large list")
            << std::function<void()>([] { vessa::FreedMemory::releaseAfter(vessa::ListSizes::largeList); }) << true;
        QTest::newRow("after a small list")
            << std::function<void()>([] { vessa::FreedMemory::releaseAfter(vessa::ListSizes::largeList - 1); })
            << false;
    }
    void freedBlocksLeaveTheProcess()
    {
        QFETCH(std::function<void()>, release);
        QFETCH(bool, released);
        std::vector<std::unique_ptr<char[]>> blocks;
        for (int i = 0; i < 200'000; ++i) {
            blocks.emplace_back(new char[200]);
            std::fill_n(blocks.back().get(), 200, char(i));
        }
        const auto kept = std::make_unique<char[]>(200);
        const qint64 before = residentKilobytes();
        blocks.clear();
        release();
        const auto message = [before] {
            return qPrintable(QStringLiteral("%1 kB before, %2 kB after").arg(before).arg(residentKilobytes()));
        };
        if (released) {
            QTRY_VERIFY2(residentKilobytes() < before - 20'000, message());
        } else {
            QThreadPool::globalInstance()->waitForDone();
            QVERIFY2(residentKilobytes() > before - 20'000, message());
            vessa::FreedMemory::releaseNow();
        }
    }
};

QTEST_GUILESS_MAIN(FreedMemoryTest)
#include "tst_freedmemory.moc"
