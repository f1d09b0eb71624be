#pragma once

#include "VessaCore/Error.h"

#include <QHashFunctions>
#include <QString>

namespace vessa {

// Failures of the audio engine output.
class AVAudioEngineOutputError : public Error {
public:
    enum class Kind {
        notPrepared,
        invalidFormat,
        // The audio device could not be opened or started; carries the
        // device library's message.
        deviceStartFailed,
    };

    explicit AVAudioEngineOutputError(Kind kind, QString deviceMessage = {});

    Kind kind() const { return m_kind; }
    const QString& deviceMessage() const { return m_deviceMessage; }
    QString description() const override;

    friend bool operator==(const AVAudioEngineOutputError& a, const AVAudioEngineOutputError& b)
    {
        return a.m_kind == b.m_kind && a.m_deviceMessage == b.m_deviceMessage;
    }
    friend size_t qHash(const AVAudioEngineOutputError& error, size_t seed = 0)
    {
        return qHashMulti(seed, static_cast<int>(error.m_kind), error.m_deviceMessage);
    }

private:
    Kind m_kind;
    QString m_deviceMessage;
};

} // namespace vessa
