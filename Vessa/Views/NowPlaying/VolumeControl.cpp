#include "Vessa/Views/NowPlaying/VolumeControl.h"

#include "Vessa/App/NowPlaying/VolumeState.h"
#include "Vessa/Views/NowPlaying/NowPlayingFormat.h"
#include "Vessa/Views/Theme/Icons.h"

#include <QFrame>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace vessa {

namespace {

QLabel* captionSymbol(const QString& symbol)
{
    auto* label = new QLabel;
    label->setPixmap(Icons::icon(symbol).pixmap(12, 12, QIcon::Disabled));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

VolumeControl::VolumeControl(VolumeState& volume, QWidget* parent)
    : QWidget(parent), m_volume(volume), m_button(new QToolButton(this))
{
    m_button->setObjectName(QStringLiteral("volumeButton"));
    m_button->setAutoRaise(true);
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setFixedWidth(24);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_button);
    connect(m_button, &QToolButton::clicked, this, &VolumeControl::togglePopup);
    connect(&m_volume, &VolumeState::valueChanged, this, &VolumeControl::updateLooks);
    updateLooks();
}

QWidget* VolumeControl::popup()
{
    if (m_popup)
        return m_popup;
    auto* frame = new QFrame(this, Qt::Popup);
    frame->setObjectName(QStringLiteral("volumePopup"));
    frame->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(6);
    layout->addWidget(captionSymbol(QStringLiteral("speaker.wave.3.fill")));
    m_slider = new QSlider(Qt::Vertical);
    m_slider->setObjectName(QStringLiteral("volumeSlider"));
    m_slider->setRange(0, steps);
    m_slider->setFixedSize(28, 200);
    layout->addWidget(m_slider, 0, Qt::AlignHCenter);
    layout->addWidget(captionSymbol(QStringLiteral("speaker.fill")));
    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);
    m_mute = new QToolButton;
    m_mute->setObjectName(QStringLiteral("muteButton"));
    m_mute->setAutoRaise(true);
    m_mute->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_mute, 0, Qt::AlignHCenter);
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) { m_volume.setValue(double(value) / steps); });
    connect(m_mute, &QToolButton::clicked, this,
            [this] { m_volume.setValue(NowPlayingFormat::afterMuteButton(m_volume.value())); });
    m_popup = frame;
    updateLooks();
    return m_popup;
}

QSlider* VolumeControl::slider()
{
    popup();
    return m_slider;
}

QToolButton* VolumeControl::muteButton()
{
    popup();
    return m_mute;
}

void VolumeControl::togglePopup()
{
    QWidget* shown = popup();
    if (shown->isVisible()) {
        shown->hide();
        return;
    }
    shown->adjustSize();
    const QPoint anchor = m_button->mapToGlobal(QPoint(m_button->width() / 2, 0));
    shown->move(anchor.x() - shown->width() / 2, anchor.y() - shown->height() - 4);
    shown->show();
}

bool VolumeControl::isPopupShown() const
{
    return m_popup && m_popup->isVisible();
}

void VolumeControl::updateLooks()
{
    const double volume = m_volume.value();
    m_button->setIcon(Icons::icon(NowPlayingFormat::volumeSymbol(volume)));
    m_button->setToolTip(NowPlayingFormat::volumeTooltip(volume));
    if (!m_popup)
        return;
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(static_cast<int>(std::lround(volume * steps)));
    m_mute->setIcon(Icons::icon(NowPlayingFormat::muteButtonSymbol(volume)));
}

} // namespace vessa
