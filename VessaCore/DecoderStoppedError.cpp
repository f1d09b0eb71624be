#include "VessaCore/DecoderStoppedError.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(DecoderStoppedError)
};

} // namespace

QString DecoderStoppedError::description() const
{
    if (!m_fileName)
        return Text::tr("The decoder stopped unexpectedly while reading the file.");
    return Text::tr("The decoder stopped unexpectedly while reading \u201C%1\u201D.").arg(*m_fileName);
}

} // namespace vessa
