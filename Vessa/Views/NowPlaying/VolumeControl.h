#pragma once

#include <QWidget>

class QSlider;
class QToolButton;

namespace vessa {

class VolumeState;

// The now-playing bar's volume button: its icon follows the level, its
// tooltip reads "Volume: N%", and it opens a small popup with a vertical
// slider and a mute button. A view over the volume state: the slider and the
// mute button set it, and every change of it (also from the desktop's
// controls) shows at once.
class VolumeControl : public QWidget {
    Q_OBJECT
public:
    static constexpr int steps = 1000;

    // `volume` must outlive the control.
    explicit VolumeControl(VolumeState& volume, QWidget* parent = nullptr);

    QToolButton* button() const { return m_button; }
    // The popup, made on first use.
    QWidget* popup();
    QSlider* slider();
    QToolButton* muteButton();
    void togglePopup();
    bool isPopupShown() const;

private:
    void updateLooks();

    VolumeState& m_volume;
    QToolButton* m_button;
    QWidget* m_popup = nullptr;
    QSlider* m_slider = nullptr;
    QToolButton* m_mute = nullptr;
};

} // namespace vessa
