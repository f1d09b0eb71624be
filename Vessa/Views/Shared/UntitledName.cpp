#include "Vessa/Views/Shared/UntitledName.h"

#include <QCoreApplication>

namespace vessa {

QString firstFreeUntitledName(const std::function<bool(const QString& name)>& isTaken)
{
    QString candidate = QCoreApplication::translate("UntitledName", "Untitled");
    for (int counter = 2; isTaken(candidate); ++counter)
        candidate = QCoreApplication::translate("UntitledName", "Untitled %1").arg(counter);
    return candidate;
}

} // namespace vessa
