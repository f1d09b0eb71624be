#pragma once

#include <QLoggingCategory>

// Declares and defines a logging category named "com.tornwick.<module>.<area>",
// e.g. VESSA_LOGGING_CATEGORY(lcPlayback, "vessacore", "playback").
// A category one file uses is defined in that file's anonymous namespace; one
// that several files of a module share is declared in the module's
// <Module>Logging.h and defined once, both inside namespace vessa. Log with
// qCInfo(lcPlayback).noquote() << text or vessa::logInfo(lcPlayback(), text).
#define VESSA_LOGGING_CATEGORY(name, moduleWord, area)                                                                 \
    Q_LOGGING_CATEGORY(name, "com.tornwick." moduleWord "." area, QtDebugMsg)

namespace vessa {

// Log one finished message text exactly as given (no quoting, no spaces added).
inline void logDebug(const QLoggingCategory& category, const QString& text)
{
    if (category.isDebugEnabled())
        QMessageLogger(nullptr, 0, nullptr, category.categoryName()).debug("%s", qUtf8Printable(text));
}

inline void logInfo(const QLoggingCategory& category, const QString& text)
{
    if (category.isInfoEnabled())
        QMessageLogger(nullptr, 0, nullptr, category.categoryName()).info("%s", qUtf8Printable(text));
}

inline void logWarning(const QLoggingCategory& category, const QString& text)
{
    if (category.isWarningEnabled())
        QMessageLogger(nullptr, 0, nullptr, category.categoryName()).warning("%s", qUtf8Printable(text));
}

inline void logError(const QLoggingCategory& category, const QString& text)
{
    if (category.isCriticalEnabled())
        QMessageLogger(nullptr, 0, nullptr, category.categoryName()).critical("%s", qUtf8Printable(text));
}

} // namespace vessa
