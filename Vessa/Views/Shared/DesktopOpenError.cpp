#include "Vessa/Views/Shared/DesktopOpenError.h"

namespace vessa {

DesktopOpenError::DesktopOpenError(Kind kind, QStringList targets) : m_kind(kind), m_targets(std::move(targets))
{
}

DesktopOpenError DesktopOpenError::folders(QStringList folders)
{
    return DesktopOpenError(Kind::folders, std::move(folders));
}

DesktopOpenError DesktopOpenError::webPage(QString address)
{
    return DesktopOpenError(Kind::webPage, {std::move(address)});
}

QString DesktopOpenError::description() const
{
    const QString targets = m_targets.join(QStringLiteral(", "));
    switch (m_kind) {
    case Kind::folders:
        return QStringLiteral("Could not show the files: no file manager answered, and no application on this system "
                              "opens folders (")
               + targets + QStringLiteral(").");
    case Kind::webPage: break;
    }
    return QStringLiteral("Could not open ") + targets
           + QStringLiteral(": no application on this system opens web pages.");
}

} // namespace vessa
