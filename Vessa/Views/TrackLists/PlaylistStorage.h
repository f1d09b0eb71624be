#pragma once

#include <QString>

#include <optional>

namespace vessa {

struct PlaylistDocument;

// Where a shown playlist lives: a playlist of the user's library, found by
// its exact name, or a playlist document open in a window of its own. A
// document is edited in place through the pointer; its owner keeps it alive
// for as long as a view shows it. `filePath` is the document's file, absent
// while it has never been saved.
class PlaylistStorage {
public:
    static PlaylistStorage library(QString name);
    static PlaylistStorage document(PlaylistDocument* document, std::optional<QString> filePath);

    bool isLibrary() const { return m_document == nullptr; }
    bool isDocument() const { return m_document != nullptr; }
    // The library playlist's name (library storage only).
    const QString& name() const { return m_name; }
    // Library storage whose name is "Starred".
    bool isStarred() const;
    PlaylistDocument* document() const { return m_document; }
    const std::optional<QString>& filePath() const { return m_filePath; }

private:
    PlaylistStorage() = default;

    QString m_name;
    PlaylistDocument* m_document = nullptr;
    std::optional<QString> m_filePath;
};

} // namespace vessa
