#pragma once

#include <QString>

#include <exception>

namespace vessa {

// A playlist file that failed in the last load: the store's read error, the
// file reader's PlaylistFileError, or another file already holding the name.
struct PlaylistLoadError {
    QString name;
    std::exception_ptr error;

    const QString& id() const { return name; }
    // The error's English text.
    QString errorDescription() const;
};

} // namespace vessa
