#include "VessaCore/CaseBlindCollator.h"

namespace vessa {

QCollator caseBlindCollator()
{
    QCollator collator;
    if (collator.locale().language() == QLocale::C)
        collator.setLocale(QLocale(QLocale::English));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace vessa
