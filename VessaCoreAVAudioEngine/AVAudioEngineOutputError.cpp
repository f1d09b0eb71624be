#include "VessaCoreAVAudioEngine/AVAudioEngineOutputError.h"

namespace vessa {

AVAudioEngineOutputError::AVAudioEngineOutputError(Kind kind, QString deviceMessage)
    : m_kind(kind), m_deviceMessage(std::move(deviceMessage))
{
}

QString AVAudioEngineOutputError::description() const
{
    switch (m_kind) {
    case Kind::notPrepared: return QStringLiteral("Audio engine is not prepared for playback");
    case Kind::invalidFormat: return QStringLiteral("Invalid or unsupported audio format for the audio engine");
    case Kind::deviceStartFailed: return QStringLiteral("Audio device could not be started: ") + m_deviceMessage;
    }
    return {};
}

} // namespace vessa
