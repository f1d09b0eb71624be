#pragma once

#include "Rasko/DestinationPlugin.h"

#include <QString>

#include <filesystem>
#include <functional>

namespace vessa {

// A store of whole files in one folder of the local file system, addressed by
// file name ("file id", extension included). Nothing is cached: every call
// asks the file system afresh. The folder is created on the first write.
//
// Threads: every operation blocks on the disk, so callers run them off the
// main thread; they may run on several threads at once (no lock: writes are
// atomic, so a reader sees the old file or the new one whole).
class LocalFolderDestination : public DestinationPlugin {
public:
    // Touches no file.
    LocalFolderDestination(QString name, QString directoryPath);

    QString name() const override;
    // The entries (files or folders) whose extension, lower-cased, is the
    // given one lower-cased; hidden entries and the inside of sub-folders are
    // left out. A missing folder lists as empty. Not sorted.
    QList<DestinationFileInfo> list(const QString& fileExtension) override;
    QByteArray read(const QString& fileID) override;
    // Writes to a temporary file that then replaces the target, so a failed
    // write leaves the earlier file untouched.
    void write(const QString& fileID, const QByteArray& data) override;
    // Removes a file (or an empty folder); never anything recursively.
    void remove(const QString& fileID) override;
    // The regular files named like the temporary file of a write: a file id
    // with this extension (in this letter case), a dot and six ASCII letters.
    // Those without a date are left out. A missing folder lists as empty.
    QList<DestinationFileInfo> listInterruptedWrites(const QString& fileExtension) override;

private:
    // The folder's entries, hidden ones left out, that `keep` accepts by name
    // and entry; a date the file system does not give is distantPast().
    QList<DestinationFileInfo>
    listEntries(const std::function<bool(const QString& fileID, const std::filesystem::directory_entry&)>& keep);
    void ensureDirectoryExists() const;
    std::filesystem::path location(const QString& fileID) const;

    QString m_name;
    QString m_directoryPath;
};

} // namespace vessa
