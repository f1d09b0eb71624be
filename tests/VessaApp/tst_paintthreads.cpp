#include "Vessa/App/System/PaintThreads.h"
#include "tests/support/RefusedThreads.h"

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QThreadPool>
#include <QtTest>

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
        QTest::addColumn<bool>("someRefused"); // while the threads were started
        QTest::newRow("every thread started") << false;
        QTest::newRow("some refused") << true;
    }
    // With the pool's threads kept, painting never waits for a thread the
    // system refuses; and when some of them never started, the program ends
    // without waiting for them as Qt's end would.
    void paintingNeedsNoNewThread()
    {
        VESSA_IN_CHILD_WITH_REFUSABLE_THREADS();
        QFETCH(bool, someRefused);
        std::optional<test::RefusedThreads> refusal;
        if (someRefused) {
            if (QThreadPool::globalInstance()->maxThreadCount() < 2)
                QSKIP("a pool of one thread");
            refusal.emplace();
            if (!refusal->allowOnly(1))
                QSKIP("the process limit cannot let a single thread start");
        }
        PaintThreads::keepStarted();
        if (someRefused) {
            QTest::qWait(500);
            QVERIFY(!PaintThreads::allStarted());
        } else {
            QTRY_VERIFY(PaintThreads::allStarted());
        }
        refusal.emplace();
        for (int i = 0; i < 3; ++i)
            paintLarge();
        refusal.reset();
        if (someRefused)
            PaintThreads::exitIfAnyNeverStarted(0); // else Qt's end waits for good
    }
};

QTEST_MAIN(PaintThreadsTest)
#include "tst_paintthreads.moc"
