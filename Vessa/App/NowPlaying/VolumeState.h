#pragma once

#include <QLatin1String>
#include <QObject>

class QSettings;

namespace vessa {

class AVAudioEngineOutput;

// The one owner of the output volume: a perceived level from 0 to 1 that the
// now-playing bar and the MPRIS Volume property read and set. Every change
// goes to the output at once and is saved under "volume".
//
// Threads: main thread only.
class VolumeState : public QObject {
    Q_OBJECT

public:
    static constexpr QLatin1String settingsKey{"volume"};
    static constexpr double defaultValue = 0.75;

    // Restores the saved level (a number, clamped to 0...1; else 0.75) and
    // applies it to `output`; neither saves nor notifies. Both references
    // must outlive it.
    VolumeState(AVAudioEngineOutput& output, QSettings& settings, QObject* parent = nullptr);

    double value() const { return m_value; }
    // Clamped to 0...1; a value that is no number is ignored, and the level
    // it already has changes nothing.
    void setValue(double value);

signals:
    void valueChanged();

private:
    void apply();

    AVAudioEngineOutput& m_output;
    QSettings& m_settings;
    double m_value;
};

} // namespace vessa
