#pragma once

#include <QStringList>
#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;

namespace vessa {

class CoalescedRefresh;
class EqualizerState;
class VerticalSlider;

// The content of the "Equalizer" window, a fixed 420 x 300: the "Preset"
// picker and the "Bypass" switch above a decibel scale and ten band sliders
// (-12 to +12 dB), each with its gain above and its frequency below. It keeps
// no state: it shows the EqualizerState and writes the user's gestures into
// it, and only those, so showing a new state never writes it back. Bypass
// disables nothing: the gains stay editable.
//
// The background is the window's (AdaptiveWindowBackground): this widget
// paints none.
class EqualizerView : public QWidget {
    Q_OBJECT
public:
    static constexpr int windowWidth = 420;
    static constexpr int windowHeight = 300;
    static constexpr float lowestGain = -12;
    static constexpr float highestGain = 12;

    // `state` must outlive the view.
    explicit EqualizerView(EqualizerState& state, QWidget* parent = nullptr);

    // A band's gain as its label shows it: C's printf "%+.0f", so "+0",
    // "+12", "-0", with halves to even ("+2" for 2.5).
    static QString gainLabel(float gain);
    // The picker's entries: the preset names in order, then "Custom" while
    // `selectedPreset` names no preset.
    static QStringList presetEntries(const QString& selectedPreset);

private:
    QWidget* makeHeader();
    QWidget* makeBandSliders();
    QWidget* makeScale();
    void showState();

    EqualizerState& m_state;
    QComboBox* m_presetPicker = nullptr;
    QCheckBox* m_bypassSwitch = nullptr;
    std::array<QLabel*, 10> m_gainLabels{};
    std::array<VerticalSlider*, 10> m_sliders{};
    CoalescedRefresh* m_refresh;
};

} // namespace vessa
