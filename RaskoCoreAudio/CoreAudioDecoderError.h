#pragma once

#include "VessaCore/Error.h"

namespace vessa {

// Failures of the FFmpeg-based decoder and tag reader. `open` and `extract`
// throw openFailed (FFmpeg could not open the file or its audio stream; it
// carries the file name and FFmpeg's message). The other two cases complete
// the decoder's error set but are not thrown here: a stream that cannot set
// up its decoding state simply ends, and in-memory data is read like a file.
class CoreAudioDecoderError : public Error {
public:
    enum class Kind { invalidAudioFile, dataSourceNotSupported, openFailed };

    static CoreAudioDecoderError invalidAudioFile(QString url);
    static CoreAudioDecoderError dataSourceNotSupported();
    static CoreAudioDecoderError openFailed(QString fileName, QString message);

    Kind kind() const { return m_kind; }
    // The file's path (invalidAudioFile) or name (openFailed).
    const QString& file() const { return m_file; }
    // FFmpeg's message (openFailed).
    const QString& message() const { return m_message; }

    QString description() const override;

private:
    CoreAudioDecoderError(Kind kind, QString file, QString message);

    Kind m_kind;
    QString m_file;
    QString m_message;
};

} // namespace vessa
