#pragma once

#include "VessaCore/Error.h"

#include <QString>
#include <QStringList>

namespace vessa {

// Nothing on the system opened what the program handed to the desktop: no
// file manager showed the files and no application opened their folders, or
// no application opened a web page.
class DesktopOpenError : public Error {
public:
    enum class Kind { folders, webPage };

    // The folders of the files to be shown, none of which opened.
    static DesktopOpenError folders(QStringList folders);
    static DesktopOpenError webPage(QString address);

    Kind kind() const { return m_kind; }
    // The folders, or the one web page's address.
    const QStringList& targets() const { return m_targets; }

    QString description() const override;

private:
    DesktopOpenError(Kind kind, QStringList targets);

    Kind m_kind;
    QStringList m_targets;
};

} // namespace vessa
