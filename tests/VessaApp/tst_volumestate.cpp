// The volume's one owner over a real output and a settings file.

#include "Vessa/App/NowPlaying/VolumeState.h"
#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

using namespace vessa;

class VolumeStateTest : public QObject {
    Q_OBJECT

private slots:
    void setValue_data()
    {
        QTest::addColumn<double>("requested");
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("changes");
        QTest::newRow("a half") << 0.5 << 0.5 << true;
        QTest::newRow("above the range") << 1.5 << 1.0 << true;
        QTest::newRow("endless") << std::numeric_limits<double>::infinity() << 1.0 << true;
        QTest::newRow("no number") << std::numeric_limits<double>::quiet_NaN() << 0.75 << false;
        QTest::newRow("the level it has") << 0.75 << 0.75 << false;
    }
    void setValue()
    {
        QFETCH(double, requested);
        QFETCH(double, value);
        QFETCH(bool, changes);
        QTemporaryDir folder;
        QSettings settings(folder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        AVAudioEngineOutput output;
        VolumeState volume(output, settings);
        QSignalSpy changed(&volume, &VolumeState::valueChanged);

        volume.setValue(requested);
        QCOMPARE(volume.value(), value);
        QCOMPARE(changed.size(), changes ? 1 : 0);
        const float perceived = float(value);
        QCOMPARE(output.volume(), perceived * perceived * perceived);
        QCOMPARE(settings.contains(VolumeState::settingsKey), changes);

        // The next start restores it to the output.
        AVAudioEngineOutput nextOutput;
        VolumeState restored(nextOutput, settings);
        QCOMPARE(restored.value(), value);
        QCOMPARE(nextOutput.volume(), output.volume());
    }
};

QTEST_GUILESS_MAIN(VolumeStateTest)
#include "tst_volumestate.moc"
