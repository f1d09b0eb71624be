#include "VessaCore/Error.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/GenerationWorker.h"
#include "VessaCore/ThreadStart.h"
#include "tests/support/RefusedThreads.h"

#include <QtTest>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <semaphore>

using namespace vessa;

namespace {

// A gate a worker waits at until the test opens it or its stop is requested.
struct Gate {
    std::mutex mutex;
    std::condition_variable_any opened;
    bool open = false;

    void release()
    {
        {
            std::lock_guard lock(mutex);
            open = true;
        }
        opened.notify_all();
    }
    // False when the stop came first.
    bool wait(std::stop_token stop)
    {
        std::unique_lock lock(mutex);
        return opened.wait(lock, stop, [this] { return open; });
    }
};

// Notes the thread it is destroyed on.
struct Tracked {
    explicit Tracked(std::shared_ptr<std::atomic<Qt::HANDLE>> destroyedOn = {}) : destroyedOn(std::move(destroyedOn)) {}
    Tracked(Tracked&& other) noexcept : value(other.value), destroyedOn(std::move(other.destroyedOn)) {}
    Tracked& operator=(Tracked&&) = delete;
    ~Tracked()
    {
        if (destroyedOn)
            destroyedOn->store(QThread::currentThreadId());
    }
    int value = 0;
    std::shared_ptr<std::atomic<Qt::HANDLE>> destroyedOn;
};

struct Outcomes {
    QList<int> delivered;
    int superseded = 0;
    QList<int> discarded;
};

} // namespace

class GenerationWorkerTest : public QObject {
    Q_OBJECT

private slots:
    void onlyTheNewestIsDelivered_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<bool>("discarding");
        QTest::addColumn<QList<int>>("delivered");
        QTest::addColumn<int>("superseded");
        QTest::addColumn<QList<int>>("discarded");
        QTest::newRow("nothing newer") << "nothing" << false << QList<int>{1} << 0 << QList<int>{};
        QTest::newRow("a newer start") << "start" << false << QList<int>{2} << 1 << QList<int>{};
        QTest::newRow("supersede") << "supersede" << false << QList<int>{} << 1 << QList<int>{};
        QTest::newRow("destroying the helper") << "destroy" << false << QList<int>{} << 0 << QList<int>{};
        // The older value reaches the discard hook, even from a stopped worker.
        QTest::newRow("a newer start, discarding") << "start" << true << QList<int>{2} << 1 << QList<int>{1};
        QTest::newRow("supersede, discarding") << "supersede" << true << QList<int>{} << 1 << QList<int>{1};
    }
    void onlyTheNewestIsDelivered()
    {
        QFETCH(QString, then);
        QFETCH(bool, discarding);
        QFETCH(QList<int>, delivered);
        QFETCH(int, superseded);
        QFETCH(QList<int>, discarded);
        QObject receiver;
        auto worker = std::make_unique<GenerationWorker>(&receiver);
        Outcomes outcomes;
        auto gate = std::make_shared<Gate>();
        const auto start = [&](int value) {
            const auto work = [gate, value](std::stop_token stop) {
                gate->wait(stop);
                return value;
            };
            const auto deliver = [&outcomes](int result, std::exception_ptr error) {
                QVERIFY(!error);
                outcomes.delivered.append(result);
            };
            const auto countSuperseded = [&outcomes] { ++outcomes.superseded; };
            if (discarding)
                return worker->start(work, deliver, countSuperseded,
                                     [&outcomes](int result) { outcomes.discarded.append(result); });
            return worker->start(work, deliver, countSuperseded);
        };
        const quint64 first = start(1);
        QVERIFY(worker->isPending());
        if (then == u"start") {
            QCOMPARE(start(2), first + 1);
            QVERIFY(worker->isPending());
        } else if (then == u"supersede") {
            worker->supersede();
            QVERIFY(!worker->isPending());
        }
        gate->release();
        if (then == u"destroy") {
            worker.reset(); // joins the worker
            QCoreApplication::processEvents();
        } else {
            QTRY_VERIFY(outcomes.delivered.size() + outcomes.superseded == (then == u"start" ? 2 : 1));
            QVERIFY(!worker->isPending());
        }
        QCOMPARE(outcomes.delivered, delivered);
        QCOMPARE(outcomes.superseded, superseded);
        QCOMPARE(outcomes.discarded, discarded);
    }

    void failuresAreDeliveredAsExceptions()
    {
        QObject receiver;
        GenerationWorker worker(&receiver);
        std::optional<QString> error;
        int value = -1;
        worker.start([](std::stop_token) -> int { throw JsonDecodingError(QStringLiteral("no key")); },
                     [&](int result, std::exception_ptr failure) {
                         value = result;
                         error = describeException(failure);
                     });
        QTRY_VERIFY(error.has_value());
        QCOMPARE(*error, JsonDecodingError(QStringLiteral("no key")).description());
        QCOMPARE(value, 0);
    }

    // A superseded worker is asked to stop; what it still returns is freed
    // on its own thread, never on the receiver's.
    void supersededWorkersStopAndFreeTheirResultThemselves()
    {
        QObject receiver;
        GenerationWorker worker(&receiver);
        auto destroyedOn = std::make_shared<std::atomic<Qt::HANDLE>>(nullptr);
        auto gate = std::make_shared<Gate>();
        std::atomic<bool> stopped = false;
        bool delivered = false;
        bool superseded = false;
        worker.start(
            [&, gate, destroyedOn](std::stop_token stop) {
                stopped = !gate->wait(stop);
                return Tracked(destroyedOn);
            },
            [&](Tracked, std::exception_ptr) { delivered = true; }, [&] { superseded = true; });
        worker.supersede();
        QTRY_VERIFY(superseded);
        QVERIFY(stopped && !delivered);
        QVERIFY(destroyedOn->load() != nullptr);
        QVERIFY(destroyedOn->load() != QThread::currentThreadId());
    }

    // Many quick requests: exactly one delivery, every other one superseded.
    void aBurstOfRequestsDeliversTheLast()
    {
        QObject receiver;
        GenerationWorker worker(&receiver);
        Outcomes outcomes;
        for (int i = 0; i < 50; ++i) {
            worker.start([i](std::stop_token) { return i; },
                         [&](int result, std::exception_ptr) { outcomes.delivered.append(result); },
                         [&] { ++outcomes.superseded; });
        }
        QTRY_COMPARE(outcomes.delivered.size() + outcomes.superseded, 50);
        QCOMPARE(outcomes.delivered, QList<int>{49});
    }

    // Last: the child process it starts would keep the thread sanitizer
    // from letting this process start threads afterwards.
    void aRefusedGenerationWaitsForAThread_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<QList<int>>("delivered");
        QTest::addColumn<int>("superseded");
        QTest::newRow("nothing newer") << "nothing" << QList<int>{1} << 0;
        QTest::newRow("a newer start") << "start" << QList<int>{2} << 1;
        QTest::newRow("destroying the helper") << "destroy" << QList<int>{} << 0;
    }
    // While the system refuses threads the generation waits, pending; once
    // one may start it runs, unless something superseded it meanwhile.
    void aRefusedGenerationWaitsForAThread()
    {
        VESSA_IN_CHILD_WITH_REFUSABLE_THREADS();
        QFETCH(QString, then);
        QFETCH(QList<int>, delivered);
        QFETCH(int, superseded);
        QObject receiver;
        auto worker = std::make_unique<GenerationWorker>(&receiver);
        Outcomes outcomes;
        const auto start = [&](int value) {
            worker->start([value](std::stop_token) { return value; },
                          [&outcomes](int result, std::exception_ptr) { outcomes.delivered.append(result); },
                          [&outcomes] { ++outcomes.superseded; });
        };
        test::RefusedThreads refused;
        start(1);
        const int pastARetry = int(threadStartRetryInterval.count()) * 3 / 2;
        QTest::qWait(pastARetry);
        QVERIFY(worker->isPending());
        if (then == u"start") {
            start(2);
            QTRY_COMPARE(outcomes.superseded, 1); // without a thread
        }
        refused.lift();
        if (then == u"destroy") {
            worker.reset();
            QTest::qWait(pastARetry);
        }
        QTRY_COMPARE(outcomes.delivered, delivered);
        QCOMPARE(outcomes.superseded, superseded);
        QVERIFY(!worker || !worker->isPending());
    }
};

QTEST_GUILESS_MAIN(GenerationWorkerTest)
#include "tst_generationworker.moc"
