#include "Vessa/App/System/PaintThreads.h"
#include "VessaCore/ThreadStart.h"
#include "tests/support/LogCapture.h"
#include "tests/support/RefusedThreads.h"

#include <QImage>
#include <QLinearGradient>
#include <QLoggingCategory>
#include <QPainter>
#include <QThreadPool>
#include <QtTest>

#include <algorithm>
#include <optional>

using namespace vessa;

namespace {

// What Qt's painting splits over its pool's threads: a large fill with a
// gradient, a conversion and a smooth scaling of a large image.
void paintLarge()
{
    QImage image(2000, 2000, QImage::Format_ARGB32_Premultiplied);
    QLinearGradient gradient(0, 0, 0, image.height());
    gradient.setColorAt(0, QColor(200, 40, 40, 120));
    gradient.setColorAt(1, QColor(40, 40, 200, 220));
    QPainter painter(&image);
    painter.fillRect(image.rect(), gradient);
    painter.end();
    const QImage converted = image.convertToFormat(QImage::Format_RGB888);
    const QImage scaled = converted.scaled(1500, 1500, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QCOMPARE(scaled.size(), QSize(1500, 1500));
}

} // namespace

class PaintThreadsTest : public QObject {
    Q_OBJECT

private slots:
    void paintingNeedsNoNewThread_data()
    {
        QTest::addColumn<int>("allowed");   // threads the system starts for the pool; -1: any
        QTest::addColumn<QString>("rules"); // the logging rules in force
        QTest::newRow("every thread started") << -1 << "";
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
        if (!rules.isEmpty())
            QLoggingCategory::setFilterRules(rules);
        test::LogCapture log;
        std::optional<test::RefusedThreads> refusal;
        if (allowed >= 0) {
            if (QThread::idealThreadCount() < 2)
                QSKIP("a pool of one thread");
            refusal.emplace();
            if (!refusal->allowOnly(allowed))
                QSKIP("the process limit cannot count threads");
        }
        QObject windows;
        bool shown = false;
        PaintThreads::whenStarted(&windows, [&shown] { shown = true; });
        if (allowed == 0) {
            QTest::qWait(int(threadStartRetryInterval.count()) * 3 / 2);
            QVERIFY(!shown);
            refusal.reset();
        }
        QTRY_VERIFY(shown);
        // Only a start the system refused after letting some start leaves a dead thread.
        QCOMPARE(PaintThreads::allStarted(), allowed != 1);
        // Qt's word of the refusal is shown as any other message is.
        const QList<test::LogCapture::Entry> entries = log.entries();
        QCOMPARE(std::count_if(entries.cbegin(), entries.cend(),
                               [](const test::LogCapture::Entry& entry) {
                                   return entry.message.startsWith(u"QThread::start: Thread creation error");
                               }),
                 allowed == 1 && rules.isEmpty() ? 1 : 0);
        refusal.emplace();
        for (int i = 0; i < 3; ++i)
            paintLarge();
        refusal.reset();
        PaintThreads::exitIfAnyNeverStarted(0); // else Qt's end would wait for good
    }
};

QTEST_MAIN(PaintThreadsTest)
#include "tst_paintthreads.moc"
