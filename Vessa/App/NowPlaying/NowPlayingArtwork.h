#pragma once

#include "VessaCore/GenerationWorker.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace vessa {

// The current track's artwork as a PNG file that the desktop's now-playing
// display can load by URL. Each process writes into its own folder
// "nowplaying-<pid>" under the cache folder, names a file by the SHA-1 of the
// artwork's bytes, writes it only when the bytes change, removes the file it
// no longer shows and, when destroyed, the whole folder (and the folders of
// processes that are gone).
//
// Decoding and writing happen on a worker thread, newest bytes winning; the URL
// appears once the file is written. Bytes that are no image give no URL.
//
// Threads: main thread only; the destructor waits for the workers.
class NowPlayingArtwork : public QObject {
    Q_OBJECT

public:
    explicit NowPlayingArtwork(const QString& cacheFolder, QObject* parent = nullptr);
    ~NowPlayingArtwork() override;

    // The artwork bytes to show; empty for none. The same bytes again change
    // nothing.
    void show(const QByteArray& bytes);
    // A file URL of the PNG of the bytes shown; nothing while it is written,
    // without artwork, or when the bytes are no image.
    std::optional<QString> url() const;
    // The folder this process writes into.
    const QString& folder() const { return m_folder; }

signals:
    void urlChanged();

private:
    void discard(const std::optional<QString>& path);
    void setPath(std::optional<QString> path);
    void removeFolderOfGoneProcesses(const QString& cacheFolder) const;

    QString m_folder;
    QByteArray m_bytes;
    std::optional<QString> m_wantedPath; // where the bytes shown go
    std::optional<QString> m_path;       // written and shown
    // Writes the files; joined by the destructor before the folder goes.
    std::unique_ptr<GenerationWorker> m_worker = std::make_unique<GenerationWorker>(this);
};

} // namespace vessa
