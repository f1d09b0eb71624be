#include "Vessa/Views/Shared/DesktopOpenError.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(DesktopOpenError)
};

} // namespace

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
        return Text::tr("Could not show the files: no file manager answered, and no application on this system opens "
                        "folders (%1).")
            .arg(targets);
    case Kind::webPage: break;
    }
    return Text::tr("Could not open %1: no application on this system opens web pages.").arg(targets);
}

} // namespace vessa
