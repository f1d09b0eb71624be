#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace vessa {

// Where a decoder reads from: a file on disk, or the complete bytes of a file
// held in memory (members of ZIP archives).
class SourceLocator {
public:
    enum class Kind { fileURL, data };

    static SourceLocator fileURL(QString path) { return SourceLocator(Kind::fileURL, std::move(path), {}); }
    static SourceLocator data(QByteArray bytes) { return SourceLocator(Kind::data, {}, std::move(bytes)); }

    Kind kind() const { return m_kind; }
    bool isFileURL() const { return m_kind == Kind::fileURL; }
    bool isData() const { return m_kind == Kind::data; }
    // The file's path for a fileURL locator; empty for data.
    const QString& path() const { return m_path; }
    // The bytes of a data locator; empty for fileURL.
    const QByteArray& bytes() const { return m_bytes; }

    // The bytes at this location: the data itself, or the whole file read
    // from disk. Blocks; throws FileReadError when the file cannot be read.
    QByteArray contents() const;

    // The path's extension in lower case ("" without one); nothing for data.
    std::optional<QString> inferredFileExtension() const;

    friend bool operator==(const SourceLocator&, const SourceLocator&) = default;

private:
    SourceLocator(Kind kind, QString path, QByteArray bytes)
        : m_kind(kind), m_path(std::move(path)), m_bytes(std::move(bytes))
    {
    }

    Kind m_kind;
    QString m_path;
    QByteArray m_bytes;
};

} // namespace vessa
