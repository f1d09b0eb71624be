#include "Vessa/App/NowPlaying/EqualizerState.h"
#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"
#include "tests/support/FakeAudioDevice.h"
#include "tests/support/FakeEqualizerOutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

using namespace vessa;
using Gains = EqualizerState::Gains;

namespace {

const Gains flat{};
const Gains rock{4, 3, 1, 0, -1, 0, 2, 4, 5, 5};

// The output calls that push `gains`, band 0 first.
QStringList pushes(const Gains& gains)
{
    QStringList calls;
    for (int band = 0; band < EqualizerState::bandCount; ++band)
        calls.append(QStringLiteral("band %1 = %2").arg(band).arg(double(gains[std::size_t(band)])));
    return calls;
}

QByteArray record(const QString& bands, const QString& rest = R"("bypassed":false,"selectedPreset":"Rock")")
{
    return (QStringLiteral("{\"bands\":") + bands + u',' + rest + u'}').toUtf8();
}

} // namespace

class EqualizerStateTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    std::unique_ptr<QSettings> m_settings;
    test::FakeEqualizerOutput m_output;

    // The stored record, parsed.
    QJsonObject stored() const
    {
        return QJsonDocument::fromJson(m_settings->value(EqualizerState::settingsKey).toByteArray()).object();
    }
    void checkStored(const Gains& bands, bool bypassed, const QString& preset) const
    {
        QJsonArray gains;
        for (const float gain : bands)
            gains.append(double(gain));
        const QJsonObject expected{{"bands", gains}, {"bypassed", bypassed}, {"selectedPreset", preset}};
        QCOMPARE(stored(), expected);
    }

private slots:
    void init()
    {
        QVERIFY(m_folder.isValid());
        m_settings.reset(); // written back when destroyed
        QFile::remove(m_folder.filePath("settings.ini"));
        m_settings = std::make_unique<QSettings>(m_folder.filePath("settings.ini"), QSettings::IniFormat);
        m_output.calls.clear();
    }

    void tables()
    {
        QCOMPARE(EqualizerState::presetOrder(), QStringList({"Flat", "Bass Boost", "Treble Boost", "Vocal", "Rock",
                                                             "Electronic", "Classical", "Loudness"}));
        QCOMPARE(EqualizerState::presets().size(), 8);
        for (const QString& name : EqualizerState::presetOrder())
            QVERIFY2(EqualizerState::presets().contains(name), qPrintable(name));
        QCOMPARE(EqualizerState::presets().value("Loudness"), Gains({6, 4, 0, 0, -2, 0, -1, 0, 4, 6}));
        QCOMPARE(EqualizerState::frequencyLabels(),
                 QStringList({"32", "64", "125", "250", "500", "1k", "2k", "4k", "8k", "16k"}));
    }

    void firstLaunchIsFlatAndWritesNothing()
    {
        const EqualizerState state(m_output, *m_settings);
        QCOMPARE(state.bands(), flat);
        QVERIFY(!state.bypassed());
        QCOMPARE(state.selectedPreset(), "Flat");
        QCOMPARE(m_output.calls, pushes(flat) << "bypass off");
        QCOMPARE(m_settings->allKeys(), QStringList());
    }

    void rockIsExactAndSurvivesARestart()
    {
        {
            EqualizerState state(m_output, *m_settings);
            QSignalSpy bands(&state, &EqualizerState::bandsChanged);
            QSignalSpy preset(&state, &EqualizerState::selectedPresetChanged);
            m_output.calls.clear();
            state.applyPreset("Rock");
            QCOMPARE(state.bands(), rock);
            QCOMPARE(state.selectedPreset(), "Rock");
            QCOMPARE(m_output.calls, pushes(rock) + pushes(rock)); // the preset, then the bands rule
            QCOMPARE(bands.size(), 1);
            QCOMPARE(preset.size(), 2); // "Custom" by the bands rule, then "Rock"
            checkStored(rock, false, "Rock");
            QVERIFY(m_settings->value(EqualizerState::settingsKey).typeId() == QMetaType::QByteArray);
        }
        m_output.calls.clear();
        m_settings.reset();
        m_settings = std::make_unique<QSettings>(m_folder.filePath("settings.ini"), QSettings::IniFormat);
        const EqualizerState restored(m_output, *m_settings);
        QCOMPARE(restored.bands(), rock);
        QCOMPARE(restored.selectedPreset(), "Rock");
        QCOMPARE(m_output.calls, pushes(rock) << "bypass off");
    }

    void movingOneBandMakesItCustom()
    {
        EqualizerState state(m_output, *m_settings);
        state.applyPreset("Rock");
        m_output.calls.clear();
        state.setBand(3, 3.0f);
        Gains moved = rock;
        moved[3] = 3.0f;
        QCOMPARE(state.bands(), moved);
        QCOMPARE(state.selectedPreset(), "Custom");
        QCOMPARE(m_output.calls, pushes(moved)); // all ten bands, not only the moved one
        checkStored(moved, false, "Custom");

        // Choosing a preset after "Custom" names the preset again.
        state.applyPreset("Vocal");
        QCOMPARE(state.selectedPreset(), "Vocal");
        checkStored(EqualizerState::presets().value("Vocal"), false, "Vocal");

        // Bands outside the ten are ignored.
        m_output.calls.clear();
        state.setBand(10, 5.0f);
        state.setBand(-1, 5.0f);
        QCOMPARE(m_output.calls, QStringList());
        QCOMPARE(state.selectedPreset(), "Vocal");
    }

    void unknownPresetsDoNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("Custom") << "Custom";
        QTest::newRow("unknown") << "Jazz";
        QTest::newRow("letter case") << "rock";
        QTest::newRow("empty") << "";
    }

    void unknownPresetsDoNothing()
    {
        QFETCH(QString, name);
        EqualizerState state(m_output, *m_settings);
        QSignalSpy bands(&state, &EqualizerState::bandsChanged);
        QSignalSpy preset(&state, &EqualizerState::selectedPresetChanged);
        m_output.calls.clear();
        state.applyPreset(name);
        QCOMPARE(m_output.calls, QStringList());
        QCOMPARE(bands.size() + preset.size(), 0);
        QCOMPARE(state.selectedPreset(), "Flat");
        QCOMPARE(m_settings->allKeys(), QStringList());
    }

    void equalWritesStillPushAndSave()
    {
        EqualizerState state(m_output, *m_settings);
        QSignalSpy bypassed(&state, &EqualizerState::bypassedChanged);
        QSignalSpy bands(&state, &EqualizerState::bandsChanged);
        QSignalSpy preset(&state, &EqualizerState::selectedPresetChanged);
        m_output.calls.clear();

        state.setBypassed(false);
        QCOMPARE(m_output.calls, QStringList{"bypass off"});
        QCOMPARE(bypassed.size(), 0);
        checkStored(flat, false, "Flat");

        state.setSelectedPreset("Flat");
        QCOMPARE(preset.size(), 0);

        m_output.calls.clear();
        state.setBands(flat);
        QCOMPARE(m_output.calls, pushes(flat));
        QCOMPARE(bands.size(), 0);
        QCOMPARE(preset.size(), 1); // Flat -> Custom
        checkStored(flat, false, "Custom");
    }

    void bypassKeepsTheGains()
    {
        EqualizerState state(m_output, *m_settings);
        state.applyPreset("Bass Boost");
        QSignalSpy bypassed(&state, &EqualizerState::bypassedChanged);
        m_output.calls.clear();
        state.setBypassed(true);
        state.applyPreset("Rock"); // a preset leaves the bypass alone
        state.setBypassed(false);
        QCOMPARE(m_output.calls, QStringList{"bypass on"} + pushes(rock) + pushes(rock) << "bypass off");
        QCOMPARE(bypassed.size(), 2);
        QCOMPARE(state.bands(), rock);
        checkStored(rock, false, "Rock");
    }

    void storedRecordsAreRestored_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("restored");
        const QString ten = "[4,3,1,0,-1,0,2,4,5,5]";
        QTest::newRow("complete") << QVariant(record(ten)) << true;
        QTest::newRow("extra key ignored")
            << QVariant(record(ten, R"("bypassed":false,"selectedPreset":"Rock","x":1)")) << true;
        QTest::newRow("not JSON") << QVariant(QByteArray("{\"bands\":")) << false;
        QTest::newRow("empty") << QVariant(QByteArray()) << false;
        QTest::newRow("JSON array") << QVariant(QByteArray("[1,2]")) << false;
        QTest::newRow("missing bypassed") << QVariant(record(ten, R"("selectedPreset":"Rock")")) << false;
        QTest::newRow("missing preset") << QVariant(record(ten, R"("bypassed":false)")) << false;
        QTest::newRow("bypassed as text")
            << QVariant(record(ten, R"("bypassed":"no","selectedPreset":"Rock")")) << false;
        QTest::newRow("preset as number") << QVariant(record(ten, R"("bypassed":false,"selectedPreset":4)")) << false;
        QTest::newRow("bands as text") << QVariant(record("\"loud\"")) << false;
        QTest::newRow("a gain as text") << QVariant(record("[4,3,1,0,-1,0,2,4,5,\"5\"]")) << false;
        QTest::newRow("a gain too big for float") << QVariant(record("[4,3,1,0,-1,0,2,4,5,1e39]")) << false;
        QTest::newRow("9 bands") << QVariant(record("[4,3,1,0,-1,0,2,4,5]")) << false;
        QTest::newRow("11 bands") << QVariant(record("[4,3,1,0,-1,0,2,4,5,5,5]")) << false;
        QTest::newRow("stored as text, not bytes") << QVariant(QString::fromUtf8(record(ten))) << false;
    }

    void storedRecordsAreRestored()
    {
        QFETCH(QVariant, value);
        QFETCH(bool, restored);
        m_settings->setValue(EqualizerState::settingsKey, value);
        const EqualizerState state(m_output, *m_settings);
        QCOMPARE(state.bands(), restored ? rock : flat);
        QCOMPARE(state.selectedPreset(), restored ? "Rock" : "Flat");
        QCOMPARE(m_output.calls, pushes(state.bands()) << "bypass off");
        QCOMPARE(m_settings->value(EqualizerState::settingsKey), value); // reading never rewrites
    }

    void anUnknownStoredPresetNameStays()
    {
        m_settings->setValue(EqualizerState::settingsKey,
                             record("[1,1,1,1,1,1,1,1,1,1.5]", R"("bypassed":true,"selectedPreset":"Jazz")"));
        EqualizerState state(m_output, *m_settings);
        QCOMPARE(state.selectedPreset(), "Jazz");
        QVERIFY(state.bypassed());
        QCOMPARE(state.bands()[9], 1.5f);
        QCOMPARE(m_output.calls.last(), "bypass on");
        state.setBypassed(false);
        checkStored({1, 1, 1, 1, 1, 1, 1, 1, 1, 1.5}, false, "Jazz");
    }

    // Gains are not limited here; the output's filters limit what they use,
    // so even absurd stored gains play as the strongest allowed boost.
    void hugeStoredGainsPlayBounded()
    {
        const auto render = [&](const QString& gain) {
            m_settings->setValue(EqualizerState::settingsKey, record(u'[' + QStringList(10, gain).join(u',') + u']'));
            auto owned = std::make_unique<test::FakeAudioDevice>();
            test::FakeAudioDevice* device = owned.get();
            AVAudioEngineOutput output(std::move(owned));
            const EqualizerState state(output, *m_settings);
            const AudioFormat format = AudioFormat::cdQuality();
            std::vector<float> sine(4410);
            for (std::size_t n = 0; n < sine.size(); ++n)
                sine[n] = 0.25f * float(std::sin(2.0 * M_PI * 440.0 * double(n) / 44100.0));
            output.prepare(format);
            output.schedule(PCMBuffer(format, {sine, sine}), {});
            output.play();
            return device->renderPeriod(sine.size());
        };
        const std::vector<float> huge = render("1e6");
        QVERIFY(std::all_of(huge.begin(), huge.end(), [](float s) { return std::isfinite(s); }));
        QVERIFY(std::any_of(huge.begin(), huge.end(), [](float s) { return s != 0.0f; }));
        QVERIFY(huge == render("24")); // limited to the strongest boost the filters allow
    }
};

QTEST_GUILESS_MAIN(EqualizerStateTest)

#include "tst_equalizerstate.moc"
