#include "VessaCore/Error.h"

#include <QCoreApplication>

namespace vessa {

const char* Error::what() const noexcept
{
    std::lock_guard lock(m_whatMutex);
    if (m_what.isEmpty())
        m_what = description().toUtf8();
    return m_what.constData();
}

QString CancellationError::description() const
{
    return QCoreApplication::translate("CancellationError", "The operation was cancelled.");
}

bool isCancellation(const std::exception_ptr& error)
{
    if (!error)
        return false;
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError&) {
        return true;
    } catch (...) {
    }
    return false;
}

JsonDecodingError::JsonDecodingError(QString detail) : m_detail(std::move(detail))
{
}

QString JsonDecodingError::description() const
{
    return QCoreApplication::translate("JsonDecodingError",
                                       "The data couldn't be read because it isn't in the correct format: %1")
        .arg(m_detail);
}

} // namespace vessa
