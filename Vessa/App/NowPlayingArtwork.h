#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <optional>

namespace vessa {

// The current track's artwork as a PNG file that the desktop's now-playing
// display can load by URL. Each process writes into its own folder
// "nowplaying-<pid>" under the cache folder, names a file by the SHA-1 of the
// artwork's bytes, writes it only when the bytes change, removes the file it
// no longer shows and, when destroyed, the whole folder (and the folders of
// processes that are gone).
//
// Decoding and writing happen on a worker thread; the URL appears once the
// file is written. Bytes that are no image give no URL.
//
// Threads: main thread only; the destructor waits for the worker.
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
    void finish(quint64 generation, std::optional<QString> path);
    void setPath(std::optional<QString> path);
    void removeFolderOfGoneProcesses(const QString& cacheFolder) const;

    QString m_folder;
    QByteArray m_bytes;
    quint64 m_generation = 0;
    std::optional<QString> m_wantedPath; // where the bytes shown go
    std::optional<QString> m_path;       // written and shown
    QThreadPool m_worker;                // last: waited for first
};

} // namespace vessa
