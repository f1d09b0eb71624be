#include "VessaCore/FreedMemory.h"

#include <QFile>
#include <QtTest>

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
    // A library's worth of small blocks freed below one that stays: the heap
    // cannot shrink from its top, so only releasing the free pages inside it
    // gives the memory back.
    void freedBlocksLeaveTheProcess()
    {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        QSKIP("the sanitizer's own allocator keeps freed memory in quarantine");
#endif
        std::vector<std::unique_ptr<char[]>> blocks;
        for (int i = 0; i < 200'000; ++i) {
            blocks.emplace_back(new char[200]);
            std::fill_n(blocks.back().get(), 200, char(i));
        }
        const auto kept = std::make_unique<char[]>(200);
        const qint64 before = residentKilobytes();
        blocks.clear();
        vessa::releaseFreedMemory();
        QVERIFY2(residentKilobytes() < before - 20'000,
                 qPrintable(QStringLiteral("%1 kB before, %2 kB after").arg(before).arg(residentKilobytes())));
    }
};

QTEST_GUILESS_MAIN(FreedMemoryTest)
#include "tst_freedmemory.moc"
