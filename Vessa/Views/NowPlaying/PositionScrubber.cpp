#include "Vessa/Views/NowPlaying/PositionScrubber.h"

#include "Vessa/Views/NowPlaying/NowPlayingFormat.h"
#include "Vessa/Views/Theme/TextStyles.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProxyStyle>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpacerItem>
#include <QVBoxLayout>

#include <cmath>

namespace vessa {

namespace {

QLabel* timeLabel()
{
    auto* label = new QLabel(NowPlayingFormat::formatTime(0.0));
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.8);
    font.setStyleHint(QFont::Monospace);
    font.setFamily(QStringLiteral("monospace"));
    label->setFont(font);
    TextStyles::makeSecondary(label);
    return label;
}

// A press anywhere on the groove puts the handle under the pointer and grabs
// it, so a click seeks once to that place. No button pages by steps: a held
// press would repeat the step, against the clock moving the handle.
class PointerSliderStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton | Qt::MiddleButton;
        if (hint == SH_Slider_PageSetButtons)
            return Qt::NoButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

PositionScrubber::PositionScrubber(std::function<void(double seconds)> seek, QWidget* parent)
    : QWidget(parent),
      m_seek(std::move(seek)),
      m_slider(new QSlider(Qt::Horizontal)),
      m_elapsed(timeLabel()),
      m_total(timeLabel())
{
    m_slider->setObjectName(QStringLiteral("positionSlider"));
    m_slider->setRange(0, steps);
    m_slider->setFocusPolicy(Qt::NoFocus);
    auto* style = new PointerSliderStyle;
    style->setParent(m_slider);
    m_slider->setStyle(style);
    m_slider->setEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_slider);
    m_elapsed->setObjectName(QStringLiteral("elapsedTime"));
    m_total->setObjectName(QStringLiteral("totalTime"));
    auto* times = new QHBoxLayout;
    times->addWidget(m_elapsed);
    // A layout puts no spacing next to a stretch: the space between the
    // times grows, but never below two blanks, so that the narrowest bar
    // still shows them apart.
    const int gap = m_elapsed->fontMetrics().horizontalAdvance(QStringLiteral("  "));
    times->addSpacerItem(new QSpacerItem(gap, 0, QSizePolicy::MinimumExpanding, QSizePolicy::Minimum));
    times->addWidget(m_total);
    layout->addLayout(times);
    // Programmatic updates run under a signal blocker, so this is the user.
    connect(m_slider, &QSlider::valueChanged, this, &PositionScrubber::userMoved);
}

void PositionScrubber::setTimes(double position, std::optional<double> duration, std::optional<double> length)
{
    m_duration = duration.value_or(0.0);
    m_slider->setEnabled(m_duration > 0.0);
    m_elapsed->setText(NowPlayingFormat::formatTime(position));
    m_total->setText(NowPlayingFormat::formatTime(length.value_or(m_duration)));
    if (m_slider->isSliderDown())
        return;
    const QSignalBlocker blocker(m_slider);
    m_slider->setValue(static_cast<int>(std::lround(NowPlayingFormat::progressFraction(position, duration) * steps)));
}

void PositionScrubber::userMoved(int value)
{
    if (m_duration > 0.0 && m_seek)
        m_seek(m_duration * value / steps);
}

QString PositionScrubber::elapsedText() const
{
    return m_elapsed->text();
}

QString PositionScrubber::totalText() const
{
    return m_total->text();
}

} // namespace vessa
