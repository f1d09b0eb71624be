#pragma once

#include <QByteArray>
#include <QString>

#include <exception>
#include <mutex>

namespace vessa {

// Base of every error the program throws. Subclasses describe themselves in
// plain English; what() hands out the same text as UTF-8.
class Error : public std::exception {
public:
    Error() = default;
    Error(const Error&) noexcept : std::exception() {}
    Error& operator=(const Error&) noexcept { return *this; }
    ~Error() override = default;

    virtual QString description() const = 0;
    const char* what() const noexcept override;

private:
    mutable std::mutex m_whatMutex;
    mutable QByteArray m_what;
};

// Marks an operation that was superseded or cancelled. Never shown to a user.
class CancellationError : public Error {
public:
    QString description() const override;
};

// Whether the failure marks a superseded or cancelled operation.
bool isCancellation(const std::exception_ptr& error);

// A JSON value that does not have the expected keys or types.
class JsonDecodingError : public Error {
public:
    explicit JsonDecodingError(QString detail);
    QString description() const override;
    const QString& detail() const { return m_detail; }

private:
    QString m_detail;
};

} // namespace vessa
