#include "Vessa/App/NowPlaying/EqualizerState.h"
#include "Vessa/Views/Equalizer/EqualizerView.h"
#include "Vessa/Views/Equalizer/VerticalSlider.h"
#include "Vessa/Views/Theme/AdaptiveWindowBackground.h"
#include "Vessa/Views/Theme/VessaTheme.h"
#include "tests/support/FakeEqualizerOutput.h"
#include "tests/support/ImageFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <cmath>
#include <memory>

using namespace vessa;

namespace {

QStringList itemsOf(const QComboBox& picker)
{
    QStringList items;
    for (int i = 0; i < picker.count(); ++i)
        items << picker.itemText(i);
    return items;
}

// The widget y of a slider's track where the pointer means `gain`.
int yFor(float gain)
{
    const double t = (gain - EqualizerView::lowestGain) / (EqualizerView::highestGain - EqualizerView::lowestGain);
    return VerticalSlider::overhang + int(std::lround((1 - t) * VerticalSlider::trackHeight));
}

} // namespace

class EqualizerViewTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    std::unique_ptr<QSettings> m_settings;
    test::FakeEqualizerOutput m_output;
    std::unique_ptr<EqualizerState> m_state;
    std::unique_ptr<EqualizerView> m_view;

    QComboBox& picker() const { return *m_view->findChild<QComboBox*>("presetPicker"); }
    QCheckBox& bypassSwitch() const { return *m_view->findChild<QCheckBox*>("bypassSwitch"); }
    VerticalSlider& slider(int band) const
    {
        return *m_view->findChild<VerticalSlider*>(QString("bandSlider%1").arg(band));
    }
    QString gainText(int band) const { return m_view->findChild<QLabel*>(QString("gainLabel%1").arg(band))->text(); }
    QStringList gainTexts() const
    {
        QStringList texts;
        for (int band = 0; band < EqualizerState::bandCount; ++band)
            texts << gainText(band);
        return texts;
    }

    void makeView()
    {
        m_state = std::make_unique<EqualizerState>(m_output, *m_settings);
        m_view = std::make_unique<EqualizerView>(*m_state);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        m_output.calls.clear();
    }

    // Lets the view show the state, then checks that showing it wrote nothing.
    void settle()
    {
        const QStringList calls = m_output.calls;
        QTest::qWait(0);
        QCoreApplication::processEvents();
        QCOMPARE(m_output.calls, calls);
    }

private slots:
    void init()
    {
        m_view.reset();
        m_state.reset();
        m_settings.reset();
        QFile::remove(m_folder.filePath("settings.ini"));
        m_settings = std::make_unique<QSettings>(m_folder.filePath("settings.ini"), QSettings::IniFormat);
        m_output.calls.clear();
    }

    void snapping_data()
    {
        QTest::addColumn<float>("raw");
        QTest::addColumn<float>("value");
        QTest::newRow("0.26") << 0.26f << 0.5f;
        QTest::newRow("-0.24") << -0.24f << -0.0f;
        QTest::newRow("0.74") << 0.74f << 0.5f;
        QTest::newRow("0.76") << 0.76f << 1.0f;
        QTest::newRow("half of a step, away from zero") << 0.25f << 0.5f;
        QTest::newRow("negative half of a step") << -0.25f << -0.5f;
        QTest::newRow("11.9") << 11.9f << 12.0f;
    }
    void snapping()
    {
        QFETCH(float, raw);
        QFETCH(float, value);
        const float snapped = VerticalSlider::snapped(raw);
        QCOMPARE(snapped, value);
        QCOMPARE(std::signbit(snapped), std::signbit(value));
    }

    void pointerToValue_data()
    {
        QTest::addColumn<double>("y");
        QTest::addColumn<float>("value");
        QTest::newRow("top") << 0.0 << 12.0f;
        QTest::newRow("above the top") << -40.0 << 12.0f;
        QTest::newRow("bottom") << 160.0 << -12.0f;
        QTest::newRow("below the bottom") << 400.0 << -12.0f;
        QTest::newRow("middle") << 80.0 << 0.0f;
        QTest::newRow("raw 0.26") << (1 - 12.26 / 24) * 160 << 0.5f;
        QTest::newRow("raw -0.24") << (1 - 11.76 / 24) * 160 << -0.0f;
    }
    void pointerToValue()
    {
        QFETCH(double, y);
        QFETCH(float, value);
        const float result = VerticalSlider::valueAt(y, 160, -12, 12);
        QCOMPARE(result, value);
        QCOMPARE(std::signbit(result), std::signbit(value));
    }

    void gainLabels_data()
    {
        QTest::addColumn<float>("gain");
        QTest::addColumn<QString>("label");
        QTest::newRow("0") << 0.0f << "+0";
        QTest::newRow("12") << 12.0f << "+12";
        QTest::newRow("-12") << -12.0f << "-12";
        QTest::newRow("0.5") << 0.5f << "+0";
        QTest::newRow("1.5") << 1.5f << "+2";
        QTest::newRow("2.5") << 2.5f << "+2";
        QTest::newRow("-0") << -0.0f << "-0";
        QTest::newRow("-0.5") << -0.5f << "-0";
        QTest::newRow("-3.5") << -3.5f << "-4";
    }
    void gainLabels()
    {
        QFETCH(float, gain);
        QFETCH(QString, label);
        QCOMPARE(EqualizerView::gainLabel(gain), label);
    }

    void flatAtLaunch()
    {
        makeView();
        QCOMPARE(m_view->size(), QSize(420, 300));
        QCOMPARE(itemsOf(picker()), EqualizerState::presetOrder());
        QCOMPARE(picker().currentText(), "Flat");
        QVERIFY(!bypassSwitch().isChecked());
        QCOMPARE(gainTexts(), QStringList(10, "+0"));
        for (int band = 0; band < EqualizerState::bandCount; ++band) {
            QCOMPARE(m_view->findChild<QLabel*>(QString("frequencyLabel%1").arg(band))->text(),
                     EqualizerState::frequencyLabels().at(band));
            QCOMPARE(slider(band).value(), 0.0f);
            QCOMPARE(slider(band).thumbOffset(), 80.0);
        }
        for (const char* scale : {"+12", "0", "-12"}) {
            const QList<QLabel*> labels = m_view->findChildren<QLabel*>();
            QVERIFY(std::any_of(labels.begin(), labels.end(), [&](QLabel* l) { return l->text() == scale; }));
        }

        // Every fill reaches the middle tick and no further.
        AdaptiveWindowBackground window;
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        m_view->setParent(&window);
        layout->addWidget(m_view.get());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QImage image = window.grab().toImage();
        QVERIFY(test::savesAsPng(image));
        const QColor accent = VessaTheme::accentColor(slider(4).palette());
        const QPoint center = slider(4).mapTo(&window, QPoint(slider(4).width() / 2, 0));
        const auto colorAt = [&](int trackY) {
            return image.pixelColor((center + QPoint(0, VerticalSlider::overhang + trackY)) * image.devicePixelRatio());
        };
        QCOMPARE(colorAt(150), accent);
        QVERIFY(colorAt(20) != accent);
        m_view->setParent(nullptr);
    }

    void customComesAndGoesWithoutALoop()
    {
        makeView();
        QSignalSpy presetChanges(m_state.get(), &EqualizerState::selectedPresetChanged);

        // A drag on band 2: every pointer event writes the band once.
        QTest::mousePress(&slider(2), Qt::LeftButton, {}, QPoint(slider(2).width() / 2, yFor(3)));
        QTest::mouseMove(&slider(2), QPoint(slider(2).width() / 2, yFor(4.5f)));
        QTest::mouseRelease(&slider(2), Qt::LeftButton, {}, QPoint(slider(2).width() / 2, yFor(4.5f)));
        QCOMPARE(m_state->bands()[2], 4.5f);
        QCOMPARE(m_output.calls.size(), 20);
        QTRY_COMPARE(itemsOf(picker()), EqualizerState::presetOrder() + QStringList{"Custom"});
        QCOMPARE(picker().currentText(), "Custom");
        QCOMPARE(gainText(2), "+4");
        QCOMPARE(slider(2).value(), 4.5f);
        settle();
        QCOMPARE(presetChanges.count(), 1);

        // Choosing "Custom" changes nothing.
        m_output.calls.clear();
        emit picker().activated(picker().findText("Custom"));
        QVERIFY(m_output.calls.isEmpty());
        QCOMPARE(m_state->bands()[2], 4.5f);

        // Choosing "Rock" loads it; "Custom" leaves the list.
        emit picker().activated(picker().findText("Rock"));
        QCOMPARE(m_output.calls.size(), 20); // the preset's own push and the bands rule's
        QCOMPARE(m_state->selectedPreset(), "Rock");
        QTRY_COMPARE(itemsOf(picker()), EqualizerState::presetOrder());
        QCOMPARE(picker().currentText(), "Rock");
        QCOMPARE(gainTexts(), QStringList({"+4", "+3", "+1", "+0", "-1", "+0", "+2", "+4", "+5", "+5"}));
        QCOMPARE(slider(0).value(), 4.0f);
        settle();
        QCOMPARE(m_state->selectedPreset(), "Rock");
        QVERIFY(test::savesAsPng(m_view->grab()));
    }

    void clickWithoutMovingMakesCustom()
    {
        makeView();
        QTest::mouseClick(&slider(5), Qt::LeftButton, {}, QPoint(slider(5).width() / 2, yFor(0)));
        QCOMPARE(m_state->bands()[5], 0.0f);
        QCOMPARE(m_state->selectedPreset(), "Custom");
        QTRY_COMPARE(picker().currentText(), "Custom");
    }

    void dragBeyondTheEnds()
    {
        makeView();
        VerticalSlider& band = slider(9);
        QTest::mousePress(&band, Qt::LeftButton, {}, QPoint(band.width() / 2, yFor(0)));
        QTest::mouseMove(&band, QPoint(band.width() / 2, -30));
        QCOMPARE(m_state->bands()[9], 12.0f);
        QTest::mouseMove(&band, QPoint(band.width() / 2, band.height() + 30));
        QCOMPARE(m_state->bands()[9], -12.0f);
        QTest::mouseRelease(&band, Qt::LeftButton, {}, QPoint(band.width() / 2, band.height() + 30));
        QTRY_COMPARE(gainText(9), "-12");
    }

    void bypassKeepsEverythingEditable()
    {
        makeView();
        QTest::mouseClick(&bypassSwitch(), Qt::LeftButton);
        QVERIFY(m_state->bypassed());
        QCOMPARE(m_output.calls, QStringList{"bypass on"});
        settle();
        QVERIFY(slider(0).isEnabled());
        QVERIFY(picker().isEnabled());
        QTest::mouseClick(&slider(0), Qt::LeftButton, {}, QPoint(slider(0).width() / 2, yFor(6)));
        QCOMPARE(m_state->selectedPreset(), "Custom");
        QVERIFY(m_state->bypassed());

        // A change made elsewhere shows without being written back.
        m_output.calls.clear();
        m_state->setBypassed(false);
        QTRY_VERIFY(!bypassSwitch().isChecked());
        QCOMPARE(m_output.calls, QStringList{"bypass off"});
    }

    void unknownStoredPreset()
    {
        m_settings->setValue(EqualizerState::settingsKey,
                             QByteArray(R"({"bands":[0,0,0,0,0,0,0,0,0,0],"bypassed":false,"selectedPreset":"Jazz"})"));
        makeView();
        QCOMPARE(itemsOf(picker()), EqualizerState::presetOrder() + QStringList{"Custom"});
        QCOMPARE(picker().currentIndex(), -1);
    }
};

QTEST_MAIN(EqualizerViewTest)
#include "tst_equalizerview.moc"
