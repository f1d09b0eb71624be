#include "Vessa/Views/Equalizer/EqualizerView.h"

#include "Vessa/App/NowPlaying/EqualizerState.h"
#include "Vessa/Views/Equalizer/VerticalSlider.h"
#include "Vessa/Views/Shared/CoalescedRefresh.h"
#include "Vessa/Views/Theme/VessaTheme.h"
#include "Vessa/Views/TrackTable/TrackTableStyle.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <cstdio>

namespace vessa {

namespace {

constexpr int padding = 16;
constexpr int headerToBandsSpacing = 12;
constexpr int pickerMaximumWidth = 180;
constexpr int gainLabelHeight = 12;
constexpr int columnSpacing = 4;
constexpr int scaleWidth = 28;
constexpr int scaleBottomPadding = 18;

// The small caption font (about ten points next to a thirteen-point body).
QFont captionFont(const QFont& body)
{
    QFont font = body;
    if (body.pointSizeF() > 0)
        font.setPointSizeF(body.pointSizeF() * 10 / 13);
    else
        font.setPixelSize(std::max(8, body.pixelSize() * 10 / 13));
    return font;
}

// A preset's name as the picker shows it; the name itself is what is stored.
QString presetTitle(const QString& name)
{
    return QCoreApplication::translate("EqualizerPreset", name.toUtf8().constData());
}

QLabel* captionLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(captionFont(parent->font()));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, VessaTheme::secondaryColor(palette.color(QPalette::WindowText)));
    label->setPalette(palette);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

EqualizerView::EqualizerView(EqualizerState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_refresh(new CoalescedRefresh([this] { showState(); }, this))
{
    setFixedSize(windowWidth, windowHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(headerToBandsSpacing);
    layout->addStretch();
    layout->addWidget(makeHeader());
    layout->addWidget(makeBandSliders());
    layout->addStretch();

    connect(&m_state, &EqualizerState::bandsChanged, m_refresh, &CoalescedRefresh::request);
    connect(&m_state, &EqualizerState::bypassedChanged, m_refresh, &CoalescedRefresh::request);
    connect(&m_state, &EqualizerState::selectedPresetChanged, m_refresh, &CoalescedRefresh::request);
    showState();
}

QString EqualizerView::gainLabel(float gain)
{
    // C's own formatting: QString::asprintf rounds halves away from zero and
    // drops the sign of -0, which the labels keep.
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%+.0f", static_cast<double>(gain));
    return QString::fromLatin1(text.data());
}

QStringList EqualizerView::presetEntries(const QString& selectedPreset)
{
    QStringList entries = EqualizerState::presetOrder();
    if (!entries.contains(selectedPreset))
        entries.append(EqualizerState::customPreset);
    return entries;
}

QWidget* EqualizerView::makeHeader()
{
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);

    auto* picker = new QWidget(header);
    picker->setMaximumWidth(pickerMaximumWidth);
    auto* pickerRow = new QHBoxLayout(picker);
    pickerRow->setContentsMargins(0, 0, 0, 0);
    auto* pickerLabel = new QLabel(tr("Preset"), picker);
    m_presetPicker = new QComboBox(picker);
    m_presetPicker->setObjectName(QStringLiteral("presetPicker"));
    pickerLabel->setBuddy(m_presetPicker);
    pickerRow->addWidget(pickerLabel);
    pickerRow->addWidget(m_presetPicker, 1);
    // Only the user's choice applies a preset; showing the state sets the
    // picker with its signals blocked and never comes back here.
    connect(m_presetPicker, &QComboBox::activated, this,
            [this](int index) { m_state.applyPreset(m_presetPicker->itemData(index).toString()); });

    m_bypassSwitch = new QCheckBox(tr("Bypass"), header);
    m_bypassSwitch->setObjectName(QStringLiteral("bypassSwitch"));
    connect(m_bypassSwitch, &QCheckBox::clicked, this, [this](bool checked) { m_state.setBypassed(checked); });

    row->addWidget(picker);
    row->addStretch();
    row->addWidget(m_bypassSwitch);
    return header;
}

QWidget* EqualizerView::makeScale()
{
    auto* scale = new QWidget(this);
    scale->setFixedSize(scaleWidth, VerticalSlider::trackHeight + scaleBottomPadding);
    auto* column = new QVBoxLayout(scale);
    column->setContentsMargins(0, 0, 0, scaleBottomPadding);
    column->addWidget(captionLabel(QStringLiteral("+12"), scale));
    column->addStretch();
    column->addWidget(captionLabel(QStringLiteral("0"), scale));
    column->addStretch();
    column->addWidget(captionLabel(QStringLiteral("-12"), scale));
    return scale;
}

QWidget* EqualizerView::makeBandSliders()
{
    auto* bands = new QWidget(this);
    auto* row = new QHBoxLayout(bands);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(makeScale(), 0, Qt::AlignVCenter);

    const QFont digits = TrackTableStyle::monospacedDigitFont(captionFont(font()));
    for (int band = 0; band < EqualizerState::bandCount; ++band) {
        const auto index = static_cast<std::size_t>(band);
        auto* column = new QVBoxLayout;
        column->setSpacing(columnSpacing);

        QLabel* gain = captionLabel(QString(), bands);
        gain->setObjectName(QStringLiteral("gainLabel%1").arg(band));
        gain->setFont(digits);
        gain->setFixedHeight(gainLabelHeight);
        m_gainLabels[index] = gain;

        auto* slider = new VerticalSlider(lowestGain, highestGain, bands);
        slider->setObjectName(QStringLiteral("bandSlider%1").arg(band));
        connect(slider, &VerticalSlider::valueEdited, this,
                [this, band](float value) { m_state.setBand(band, value); });
        m_sliders[index] = slider;

        QLabel* frequency = captionLabel(EqualizerState::frequencyLabels().at(band), bands);
        frequency->setObjectName(QStringLiteral("frequencyLabel%1").arg(band));

        column->addWidget(gain);
        column->addWidget(slider);
        column->addWidget(frequency);
        row->addLayout(column, 1);
    }
    return bands;
}

void EqualizerView::showState()
{
    const QString& selected = m_state.selectedPreset();
    const QStringList entries = presetEntries(selected);
    {
        const QSignalBlocker blocker(m_presetPicker);
        QStringList shown;
        for (int i = 0; i < m_presetPicker->count(); ++i)
            shown.append(m_presetPicker->itemData(i).toString());
        if (shown != entries) {
            m_presetPicker->clear();
            for (const QString& name : entries)
                m_presetPicker->addItem(presetTitle(name), name);
        }
        // A stored name that is neither a preset nor "Custom" selects nothing.
        m_presetPicker->setCurrentIndex(entries.indexOf(selected));
    }
    {
        const QSignalBlocker blocker(m_bypassSwitch);
        m_bypassSwitch->setChecked(m_state.bypassed());
    }
    const EqualizerState::Gains& gains = m_state.bands();
    for (std::size_t band = 0; band < gains.size(); ++band) {
        m_gainLabels[band]->setText(gainLabel(gains[band]));
        m_sliders[band]->setValue(gains[band]);
    }
}

} // namespace vessa
