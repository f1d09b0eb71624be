#include "VessaCore/JoinedFields.h"

namespace vessa {

QString joinedFields(const QStringList& fields)
{
    QStringList present = fields;
    present.removeAll(QString());
    return present.join(QStringLiteral(" - "));
}

} // namespace vessa
