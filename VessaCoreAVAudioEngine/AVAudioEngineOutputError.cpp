#include "VessaCoreAVAudioEngine/AVAudioEngineOutputError.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(AVAudioEngineOutputError)
};

} // namespace

AVAudioEngineOutputError::AVAudioEngineOutputError(Kind kind, QString deviceMessage)
    : m_kind(kind), m_deviceMessage(std::move(deviceMessage))
{
}

QString AVAudioEngineOutputError::description() const
{
    switch (m_kind) {
    case Kind::notPrepared: return Text::tr("Audio engine is not prepared for playback");
    case Kind::invalidFormat: return Text::tr("Invalid or unsupported audio format for the audio engine");
    case Kind::deviceStartFailed: return Text::tr("Audio device could not be started: %1").arg(m_deviceMessage);
    }
    return {};
}

} // namespace vessa
