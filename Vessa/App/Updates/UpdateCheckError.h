#pragma once

#include "VessaCore/Error.h"

#include <QString>

namespace vessa {

// Why an update check found no answer. Each text says in plain words what
// went wrong; the detail is the network library's or the XML reader's own.
// The kinds from emptyAnswer on name a feed that was read but holds no
// release: an empty answer, no RSS, no channel, no XML element at all, or
// releases none of which names a version.
class UpdateCheckError : public Error {
public:
    enum class Kind {
        noFeed,
        invalidFeedAddress,
        unreachable,
        timedOut,
        httpStatus,
        feedTooLarge,
        malformedFeed,
        emptyAnswer,
        notRss,
        noChannel,
        noElement,
        noVersion,
    };

    static UpdateCheckError noFeed();
    static UpdateCheckError invalidFeedAddress(QString address);
    static UpdateCheckError unreachable(QString detail);
    static UpdateCheckError timedOut();
    static UpdateCheckError httpStatus(int status);
    static UpdateCheckError feedTooLarge();
    // The XML reader's message and the line it stopped at.
    static UpdateCheckError malformedFeed(QString detail, qint64 line);
    static UpdateCheckError emptyAnswer();
    static UpdateCheckError notRss();
    static UpdateCheckError noChannel();
    static UpdateCheckError noElement();
    static UpdateCheckError noVersion();

    Kind kind() const { return m_kind; }
    // The address, the library's message or the HTTP status, as text.
    const QString& detail() const { return m_detail; }
    // The line of malformedFeed; 0 otherwise.
    qint64 line() const { return m_line; }

    QString description() const override;

private:
    UpdateCheckError(Kind kind, QString detail);

    Kind m_kind;
    QString m_detail;
    qint64 m_line = 0;
};

} // namespace vessa
