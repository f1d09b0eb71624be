#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace vessa {

// Which file a name stands for: its device and inode. Two names with one
// identity are links to the same file, and a file keeps its identity when it
// is renamed, so comparing identities tells whether a name still stands for
// a file seen before.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;

    // The entry's identity with what its size and modification time tell
    // of its contents (below): a file written over keeps its identity but
    // not its stamp.
    struct Stamp;

    // The identity of the entry at `path` itself: a symbolic link there is
    // not followed, so a link put in a file's place is another file, and
    // renaming or linking the entry (which acts on a link itself) keeps it.
    // None when nothing is there or the entry cannot be examined (errno
    // tells why).
    static std::optional<FileIdentity> withoutFollowingLinks(const QByteArray& path);
    static std::optional<FileIdentity> withoutFollowingLinks(const QString& path);
    // The same entry's identity, size and modification time.
    static std::optional<Stamp> stampWithoutFollowingLinks(const QByteArray& path);
};

struct FileIdentity::Stamp {
    FileIdentity identity;
    qint64 size = 0;
    qint64 modifiedNanoseconds = 0;

    friend bool operator==(const Stamp&, const Stamp&) = default;
};

} // namespace vessa
