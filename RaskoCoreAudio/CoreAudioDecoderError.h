#pragma once

#include "VessaCore/Error.h"

namespace vessa {

// Failures of the FFmpeg-based decoder and tag reader.
//   invalidAudioFile: a stream's decoding state could not be set up; it only
//       ends that stream and never reaches a caller.
//   dataSourceNotSupported: in-memory data that cannot be read.
//   openFailed: FFmpeg could not open the file or its audio stream; carries
//       the file name and FFmpeg's message.
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
