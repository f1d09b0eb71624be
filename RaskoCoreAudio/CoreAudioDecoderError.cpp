#include "RaskoCoreAudio/CoreAudioDecoderError.h"

#include "VessaCore/PathExtension.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(CoreAudioDecoderError)
};

} // namespace

CoreAudioDecoderError::CoreAudioDecoderError(Kind kind, QString file, QString message)
    : m_kind(kind), m_file(std::move(file)), m_message(std::move(message))
{
}

CoreAudioDecoderError CoreAudioDecoderError::invalidAudioFile(QString url)
{
    return CoreAudioDecoderError(Kind::invalidAudioFile, std::move(url), {});
}

CoreAudioDecoderError CoreAudioDecoderError::dataSourceNotSupported()
{
    return CoreAudioDecoderError(Kind::dataSourceNotSupported, {}, {});
}

CoreAudioDecoderError CoreAudioDecoderError::openFailed(QString fileName, QString message)
{
    return CoreAudioDecoderError(Kind::openFailed, std::move(fileName), std::move(message));
}

QString CoreAudioDecoderError::description() const
{
    switch (m_kind) {
    case Kind::invalidAudioFile:
        return Text::tr("Could not create audio buffer for file: %1").arg(lastPathComponent(m_file));
    case Kind::dataSourceNotSupported:
        return Text::tr("CoreAudio decoder does not support raw data sources; provide a file URL");
    case Kind::openFailed: return Text::tr("Could not open audio file: %1: %2").arg(m_file, m_message);
    }
    return {};
}

} // namespace vessa
