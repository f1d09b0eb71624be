#include "Vessa/App/System/PaintThreads.h"
#include "VessaCore/ThreadStart.h"
#include "tests/support/RefusedThreads.h"

#include <QImage>
#include <QLoggingCategory>
#include <QtTest>

using namespace vessa;

class PaintThreadsTest : public QObject {
    Q_OBJECT

private slots:
    void paintingNeedsNoNewThread_data()
    {
        QTest::addColumn<int>("allowed");   // threads the system starts for the pool
        QTest::addColumn<QString>("rules"); // the logging rules in force
        QTest::newRow("some refused") << 1 << "";
        QTest::newRow("some refused, critical messages hidden") << 1 << "*.critical=false";
        QTest::newRow("the first refused") << 0 << "";
    }
    // Once the pool's threads are kept, painting never waits for a thread
    // the system refuses; before it has one, nothing may paint and the
    // windows wait. When some of them never started, the program ends
    // without waiting for them as Qt's end would.
    void paintingNeedsNoNewThread()
    {
        VESSA_IN_CHILD_WITH_REFUSABLE_THREADS();
        QFETCH(int, allowed);
        QFETCH(QString, rules);
        QLoggingCategory::setFilterRules(rules);
        if (QThread::idealThreadCount() < 2)
            QSKIP("a pool of one thread");
        test::RefusedThreads refused;
        if (allowed > 0 && !refused.allowOnly(allowed))
            QSKIP("the process limit cannot count threads");
        QObject windows;
        bool shown = false;
        PaintThreads::whenStarted(&windows, [&shown] { shown = true; });
        if (allowed == 0) {
            QTest::qWait(int(threadStartRetryInterval.count()) * 3 / 2);
            QVERIFY(!shown);
            refused.lift();
        }
        QTRY_VERIFY(shown);
        // Only a start the system refused after letting some start leaves a dead thread.
        QCOMPARE(PaintThreads::allStarted(), allowed != 1);
        // A large conversion, which Qt splits over its pool's threads.
        refused.impose();
        QImage image(2000, 2000, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::darkCyan);
        QCOMPARE(image.convertToFormat(QImage::Format_RGB888).pixelColor(0, 0), QColor(Qt::darkCyan));
        refused.lift();
        PaintThreads::exitIfAnyNeverStarted(0); // else Qt's end would wait for good
    }
};

QTEST_MAIN(PaintThreadsTest)
#include "tst_paintthreads.moc"
