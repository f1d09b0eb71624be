#include "RaskoCoreAudio/TagNumber.h"

#include "VessaCore/DecimalInteger.h"

#include <QList>

namespace vessa {

std::optional<qint64> parseTagNumber(QStringView text)
{
    const QList<QStringView> pieces = text.split(u'/', Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return std::nullopt;
    return parseDecimalInt64(pieces.front());
}

} // namespace vessa
