// The window theme and the small shared widgets: the background mesh, the
// light/dark decision, the progress gradient, icons, the busy indicator and
// the drag picture.

#include "Vessa/Views/Shared/BusyIndicator.h"
#include "Vessa/Views/Shared/DragPreview.h"
#include "Vessa/Views/Theme/AdaptiveWindowBackground.h"
#include "Vessa/Views/Theme/Icons.h"
#include "Vessa/Views/Theme/VessaTheme.h"
#include "Vessa/Views/TrackTable/TrackTable.h"
#include "tests/VessaViews/TrackRowFixture.h"
#include "tests/support/BusyGlobalPool.h"
#include "tests/support/ImageFixture.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace vessa;

namespace {

QPalette paletteWith(const QColor& window, const QColor& text)
{
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    return palette;
}

// Within one step of 8-bit rounding.
bool near(const QColor& a, const QColor& b, int tolerance = 1)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
           && qAbs(a.blue() - b.blue()) <= tolerance;
}

QString describe(const QColor& color)
{
    return QStringLiteral("(%1, %2, %3)").arg(color.red()).arg(color.green()).arg(color.blue());
}

} // namespace

class WindowThemeTest : public QObject {
    Q_OBJECT
private slots:
    void schemeHeuristic_data()
    {
        QTest::addColumn<QColor>("window");
        QTest::addColumn<QColor>("text");
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << QColor(239, 239, 239) << QColor(Qt::black) << false;
        QTest::newRow("dark") << QColor(40, 40, 46) << QColor(230, 230, 230) << true;
        QTest::newRow("dim but darker text") << QColor(90, 90, 90) << QColor(20, 20, 20) << false;
        QTest::newRow("equal lightness") << QColor(128, 128, 128) << QColor(128, 128, 128) << false;
    }
    void schemeHeuristic()
    {
        QFETCH(QColor, window);
        QFETCH(QColor, text);
        QFETCH(bool, dark);
        QCOMPARE(VessaTheme::colorScheme(paletteWith(window, text)) == VessaTheme::ColorScheme::Dark, dark);
    }

    void gridColoursAreExact()
    {
        using S = VessaTheme::ColorScheme;
        for (S scheme : {S::Light, S::Dark}) {
            const QImage& image = AdaptiveWindowBackground::meshImage(scheme);
            const auto& colors = AdaptiveWindowBackground::colors(scheme);
            const auto& points = AdaptiveWindowBackground::gridPoints();
            for (size_t i = 0; i < 9; ++i) {
                const QPoint pixel(qRound(points[i].x() * (image.width() - 1)),
                                   qRound(points[i].y() * (image.height() - 1)));
                const QColor actual = image.pixelColor(pixel);
                QVERIFY2(near(actual, colors[i], 0),
                         qPrintable(describe(actual) + QStringLiteral(" at ") + QString::number(i)));
            }
        }
        QCOMPARE(AdaptiveWindowBackground::colors(S::Dark)[4], QColor::fromRgbF(0.20f, 0.14f, 0.34f));
        QCOMPARE(AdaptiveWindowBackground::colors(S::Light)[4], QColor::fromRgbF(0.85f, 0.80f, 0.93f));
        // Between grid points the colours blend: the middle of the top edge
        // segment lies between its two ends.
        const QImage& light = AdaptiveWindowBackground::meshImage(S::Light);
        const int quarter = (light.width() - 1) / 4;
        const int red = light.pixelColor(quarter, 0).red();
        QVERIFY(red < light.pixelColor(0, 0).red() && red > light.pixelColor(2 * quarter, 0).red());
    }

    void backgroundFollowsThePalette()
    {
        AdaptiveWindowBackground background;
        background.resize(301, 201);
        background.setPalette(paletteWith(QColor(239, 239, 239), Qt::black));
        background.show();
        QVERIFY(QTest::qWaitForWindowExposed(&background));
        QImage image = background.grab().toImage();
        QVERIFY(test::savesAsPng(image));
        QVERIFY2(near(image.pixelColor(150, 100), QColor::fromRgbF(0.85f, 0.80f, 0.93f), 2),
                 qPrintable(describe(image.pixelColor(150, 100))));
        // Everything is covered: the corners hold the corner colours.
        QVERIFY(near(image.pixelColor(0, 0), QColor::fromRgbF(0.92f, 0.88f, 0.97f), 3));
        QVERIFY(near(image.pixelColor(300, 200), QColor::fromRgbF(0.93f, 0.88f, 0.97f), 3));

        background.setPalette(paletteWith(QColor(30, 30, 34), QColor(235, 235, 235)));
        image = background.grab().toImage();
        QVERIFY(test::savesAsPng(image));
        QVERIFY2(near(image.pixelColor(150, 100), QColor::fromRgbF(0.20f, 0.14f, 0.34f), 2),
                 qPrintable(describe(image.pixelColor(150, 100))));
    }

    // Long background work may hold every thread of Qt's global pool; the
    // background paints without waiting for one, a large window's (blended
    // smaller and spread over it) too.
    void backgroundPaintsWhileThePoolIsBusy()
    {
        test::BusyGlobalPool busy;
        AdaptiveWindowBackground background;
        background.resize(1280, 800);
        background.show();
        const bool exposed = QTest::qWaitForWindowExposed(&background);
        const QImage image = background.grab().toImage();
        QVERIFY(!busy.release());
        QVERIFY(exposed);
        QCOMPARE(image.size(), QSize(1280, 800) * image.devicePixelRatio());
        QVERIFY(near(image.pixelColor(640, 400), QColor::fromRgbF(0.85f, 0.80f, 0.93f), 2));
        QVERIFY(near(image.pixelColor(0, 0), QColor::fromRgbF(0.92f, 0.88f, 0.97f), 1));
        QVERIFY(
            near(image.pixelColor(image.width() - 1, image.height() - 1), QColor::fromRgbF(0.93f, 0.88f, 0.97f), 1));
    }

    void tableOverTheBackground()
    {
        AdaptiveWindowBackground window;
        auto* layout = new QVBoxLayout(&window);
        auto* table = new TrackTable(TrackTableConfiguration{.showTrackNumberColumn = true});
        layout->addWidget(table);
        window.resize(600, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        TrackRows rows = test::rowsFor({"Song 0", "Song 1", "Song 2"});
        for (int i = 0; i < 3; ++i)
            rows[i].trackNumberDisplay = QString::number(i + 1);
        rows[1].isPlaying = true;
        table->setRows(rows);
        const QImage image = window.grab().toImage();
        QVERIFY(test::savesAsPng(image));
        // The table draws no background of its own below its rows.
        const QPoint below = table->mapTo(&window, QPoint(table->width() / 2, table->height() - 10));
        QVERIFY(near(image.pixelColor(below * image.devicePixelRatio()),
                     AdaptiveWindowBackground::meshImage(VessaTheme::ColorScheme::Light)
                         .pixelColor(64, qRound(127.0 * below.y() / window.height())),
                     6));
    }

    void progressGradient()
    {
        QPalette palette;
        for (const QColor& accent : {QColor(Qt::red), QColor(20, 160, 60)}) {
            palette.setColor(QPalette::Highlight, accent);
            const QLinearGradient gradient = VessaTheme::progressGradient(palette);
            QCOMPARE(gradient.coordinateMode(), QGradient::ObjectBoundingMode);
            QCOMPARE(gradient.start(), QPointF(0, 0));
            QCOMPARE(gradient.finalStop(), QPointF(1, 0));
            QCOMPARE(gradient.stops().size(), 2);
            QCOMPARE(gradient.stops().first().second, accent);
            QCOMPARE(gradient.stops().last().second, QColor::fromRgbF(0.4f, 0.5f, 0.95f));
        }
    }

    void icons()
    {
        // Every symbol gives a usable icon, from a theme or drawn.
        for (const char* symbol : {"play.fill", "speaker.wave.2.fill", "icloud.and.arrow.down", "star.fill",
                                   "music.note", "no.such.symbol"}) {
            const QIcon icon = Icons::icon(QLatin1String(symbol));
            QVERIFY2(!icon.isNull(), symbol);
            const QImage image = icon.pixmap(16, 16).toImage();
            bool painted = false;
            for (int y = 0; y < image.height() && !painted; ++y) {
                for (int x = 0; x < image.width() && !painted; ++x)
                    painted = qAlpha(image.pixel(x, y)) > 0;
            }
            QVERIFY2(painted, symbol);
        }
        QVERIFY(Icons::themeNames(QStringLiteral("speaker.wave.2.fill")).contains(QStringLiteral("audio-volume-high")));
        QVERIFY(Icons::themeNames(QStringLiteral("star.fill")).contains(QStringLiteral("starred")));
        QVERIFY(Icons::themeNames(QStringLiteral("no.such.symbol")).isEmpty());
        // With Adwaita installed, the playing mark comes from the theme.
        QVERIFY(QIcon::hasThemeIcon(QStringLiteral("audio-volume-high"))
                || QIcon::hasThemeIcon(QStringLiteral("audio-volume-high-symbolic")));

        const QPixmap tinted = Icons::tinted(QStringLiteral("play.fill"), QSize(16, 16), 2.0, Qt::red);
        QCOMPARE(tinted.size(), QSize(32, 32));
        const QImage image = tinted.toImage();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() == 255)
                    QCOMPARE(pixel.rgb(), QColor(Qt::red).rgb());
            }
        }
    }

    void busyIndicatorTurnsOnlyWhileShown()
    {
        QWidget window;
        auto* busy = new BusyIndicator(&window);
        QCOMPARE(busy->sizeHint(), QSize(16, 16));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(busy->isSpinning());
        const int start = busy->step();
        QTRY_VERIFY(busy->step() != start);
        busy->resize(48, 48);
        QVERIFY(test::savesAsPng(busy->grab()));
        busy->hide();
        QVERIFY(!busy->isSpinning());
    }

    void dragPreview()
    {
        const QFont font = QApplication::font();
        const QPalette palette = QApplication::palette();
        const QPixmap both = DragPreview(QStringLiteral("Title"), QStringLiteral("Artist")).render(palette, font);
        const QPixmap titleOnly = DragPreview(QStringLiteral("Title"), QString()).render(palette, font);
        QCOMPARE(both.devicePixelRatio(), 2.0);
        // An empty artist leaves out the second line.
        QVERIFY(titleOnly.height() < both.height());
        const QPixmap longTitle = DragPreview(QString(500, u'W'), QString()).render(palette, font);
        QVERIFY(longTitle.width() / 2 <= DragPreview::maximumTextWidth + 60);
        QVERIFY(test::savesAsPng(both.toImage()));
    }
};

QTEST_MAIN(WindowThemeTest)
#include "tst_windowtheme.moc"
