#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

namespace vessa {

// Shows files in the desktop's file manager ("Show in File Manager").
class FileRevealer {
public:
    virtual ~FileRevealer() = default;
    // `paths` are absolute; an archive member ("archive::member") shows its archive.
    virtual void reveal(const QStringList& paths) = 0;
};

using FileRevealerPtr = std::shared_ptr<FileRevealer>;

// The desktop's way: org.freedesktop.FileManager1.ShowItems on the session
// bus, which opens the folders with the files selected. When no file manager
// answers, the parent folder of each file is opened instead (once per folder)
// through `openFolder`, by default QDesktopServices::openUrl.
class DesktopFileRevealer : public FileRevealer {
public:
    using FolderOpener = std::function<void(const QUrl& folder)>;

    explicit DesktopFileRevealer(FolderOpener openFolder = {});
    void reveal(const QStringList& paths) override;

    // The files as ShowItems takes them (file URLs), archives for members,
    // without repeats.
    static QStringList itemUris(const QStringList& paths);
    // The folders the fallback opens, in first-seen order.
    static QList<QUrl> parentFolders(const QStringList& paths);

private:
    FolderOpener m_openFolder;
};

} // namespace vessa
