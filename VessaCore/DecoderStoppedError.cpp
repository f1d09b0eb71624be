#include "VessaCore/DecoderStoppedError.h"

namespace vessa {

QString DecoderStoppedError::description() const
{
    if (!m_fileName)
        return QStringLiteral("The decoder stopped unexpectedly while reading the file.");
    return QStringLiteral("The decoder stopped unexpectedly while reading \u201C%1\u201D.").arg(*m_fileName);
}

} // namespace vessa
