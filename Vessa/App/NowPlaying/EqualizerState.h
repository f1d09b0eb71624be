#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>

class QSettings;

namespace vessa {

class EqualizerOutput;

// The ten-band graphic equaliser: gains in dB, a bypass switch and the name
// of the selected preset. Every write is pushed to the output at once and
// saved under "equalizerState" as JSON bytes, so the next launch sounds and
// looks the same. Writes push and save even when the value is equal; the
// change signals fire only when a value really changed.
//
// Threads: main thread only.
class EqualizerState : public QObject {
    Q_OBJECT

public:
    static constexpr int bandCount = 10;
    using Gains = std::array<float, bandCount>;

    static constexpr QLatin1String settingsKey{"equalizerState"};
    // The value of selectedPreset once a band was moved by hand. Preset names
    // are stored as they are; the equaliser window shows them translated in
    // the context "EqualizerPreset".
    static constexpr QLatin1String customPreset{QT_TRANSLATE_NOOP("EqualizerPreset", "Custom")};

    // The preset table: name -> ten gains in dB.
    static const QHash<QString, Gains>& presets();
    // The preset names in the order the equaliser window offers them.
    static const QStringList& presetOrder();
    // The bands' centre frequencies as short labels: "32" ... "1k" ... "16k".
    static const QStringList& frequencyLabels();

    // Restores the saved state (or Flat, not bypassed) and pushes it to
    // `output`; neither saves nor notifies. Both references must outlive it.
    EqualizerState(EqualizerOutput& output, QSettings& settings, QObject* parent = nullptr);

    const Gains& bands() const { return m_bands; }
    // Pushes all ten gains, selects "Custom" and saves.
    void setBands(const Gains& bands);
    // One band's slider; the same as setBands with that one gain changed.
    // Bands outside 0...9 are ignored.
    void setBand(int band, float gain);

    bool bypassed() const { return m_bypassed; }
    void setBypassed(bool bypassed);

    const QString& selectedPreset() const { return m_selectedPreset; }
    void setSelectedPreset(const QString& name);

    // Loads a preset of the table; a name that is not in it does nothing.
    void applyPreset(const QString& name);

signals:
    void bandsChanged();
    void bypassedChanged();
    void selectedPresetChanged();

private:
    void pushBands();
    void save();

    EqualizerOutput& m_output;
    QSettings& m_settings;
    Gains m_bands{};
    bool m_bypassed = false;
    QString m_selectedPreset;
};

} // namespace vessa
