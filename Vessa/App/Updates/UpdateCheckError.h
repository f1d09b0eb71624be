#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// Why an update check found no answer. Each text says in plain words what
// went wrong; the detail is the network library's or the XML reader's own.
class UpdateCheckError : public Error {
public:
    enum class Kind { noFeed, invalidFeedAddress, unreachable, timedOut, httpStatus, feedTooLarge, malformedFeed };

    static UpdateCheckError noFeed();
    static UpdateCheckError invalidFeedAddress(QString address);
    static UpdateCheckError unreachable(QString detail);
    static UpdateCheckError timedOut();
    static UpdateCheckError httpStatus(int status);
    static UpdateCheckError feedTooLarge();
    static UpdateCheckError malformedFeed(QString detail);

    Kind kind() const { return m_kind; }
    // The address, the library's message or the HTTP status, as text.
    const QString& detail() const { return m_detail; }

    QString description() const override;

private:
    UpdateCheckError(Kind kind, QString detail);

    Kind m_kind;
    QString m_detail;
};

} // namespace vessa
