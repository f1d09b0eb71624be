#pragma once

#include <QWidget>

#include <functional>

class QSettings;
class QSlider;
class QToolButton;

namespace vessa {

// The now-playing bar's volume button: its icon follows the level, its
// tooltip reads "Volume: N%", and it opens a small popup with a vertical
// slider and a mute button. Every change is saved under "volume" and applied
// to the output at once.
class VolumeControl : public QWidget {
    Q_OBJECT
public:
    static constexpr int steps = 1000;

    // `apply` sets the output's perceived volume.
    VolumeControl(QSettings& settings, std::function<void(float)> apply, QWidget* parent = nullptr);

    // The saved volume, 0.75 when none is saved.
    double volume() const { return m_volume; }
    void setVolume(double volume);

    QToolButton* button() const { return m_button; }
    // The popup, made on first use.
    QWidget* popup();
    QSlider* slider();
    QToolButton* muteButton();
    void togglePopup();
    bool isPopupShown() const;

private:
    void updateLooks();

    QSettings& m_settings;
    std::function<void(float)> m_apply;
    double m_volume;
    QToolButton* m_button;
    QWidget* m_popup = nullptr;
    QSlider* m_slider = nullptr;
    QToolButton* m_mute = nullptr;
};

} // namespace vessa
