#include "Vessa/App/NowPlaying/VolumeState.h"

#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"

#include <QSettings>

#include <algorithm>
#include <cmath>

namespace vessa {

namespace {

double savedValue(const QSettings& settings)
{
    bool ok = false;
    const double value = settings.value(VolumeState::settingsKey).toDouble(&ok);
    return ok && std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : VolumeState::defaultValue;
}

} // namespace

VolumeState::VolumeState(AVAudioEngineOutput& output, QSettings& settings, QObject* parent)
    : QObject(parent), m_output(output), m_settings(settings), m_value(savedValue(settings))
{
    apply();
}

void VolumeState::setValue(double value)
{
    if (std::isnan(value))
        return;
    value = std::clamp(value, 0.0, 1.0);
    if (value == m_value)
        return;
    m_value = value;
    apply();
    m_settings.setValue(settingsKey, m_value);
    emit valueChanged();
}

void VolumeState::apply()
{
    m_output.setVolumePerceived(static_cast<float>(m_value));
}

} // namespace vessa
