#pragma once

#include <QDateTime>
#include <QString>

namespace vessa {

// One indexable item found on disk: a plain file, or a member of a ZIP
// archive. `path` is the key the item is indexed under (the file's path, or
// "archive::member"); `url` is the file on disk (the archive for a member);
// `ext` is the item's extension in lower case; `lastModified` and `size` the
// file's (for a member: its archive's) modification date and size in bytes.
struct FileEntry {
    QString url;
    QString path;
    QString ext;
    QDateTime lastModified;
    qint64 size = 0;

    friend bool operator==(const FileEntry&, const FileEntry&) = default;
};

} // namespace vessa
