#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <exception>
#include <functional>
#include <memory>

namespace vessa {

// Shows files in the desktop's file manager ("Show in File Manager").
class FileRevealer {
public:
    // Told why the files could not be shown (a DesktopOpenError), possibly
    // after reveal() has returned; on the main thread.
    using FailureHandler = std::function<void(std::exception_ptr error)>;

    virtual ~FileRevealer() = default;
    // `paths` are absolute; an archive member ("archive::member") shows its archive.
    virtual void reveal(const QStringList& paths, FailureHandler onFailure) = 0;
};

using FileRevealerPtr = std::shared_ptr<FileRevealer>;

// The desktop's way: org.freedesktop.FileManager1.ShowItems on the session
// bus, which opens the folders with the files selected. When no file manager
// answers, the parent folder of each file is opened instead (once per folder)
// through `openFolder`, by default QDesktopServices::openUrl; the folders
// nothing opened are reported once, together.
class DesktopFileRevealer : public FileRevealer {
public:
    // False when nothing on the system opened the folder.
    using FolderOpener = std::function<bool(const QUrl& folder)>;

    explicit DesktopFileRevealer(FolderOpener openFolder = {});
    void reveal(const QStringList& paths, FailureHandler onFailure) override;

    // The files as ShowItems takes them (file URLs), archives for members,
    // without repeats.
    static QStringList itemUris(const QStringList& paths);
    // The folders the fallback opens, in first-seen order.
    static QList<QUrl> parentFolders(const QStringList& paths);

private:
    FolderOpener m_openFolder;
};

} // namespace vessa
