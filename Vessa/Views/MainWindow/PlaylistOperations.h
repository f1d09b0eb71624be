#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <exception>
#include <functional>

class QMimeData;

namespace vessa {

struct Playlist;
class PlaylistLibrary;
class SidebarSelection;

// The sidebar's playlist operations: inline creation and naming, deletion,
// and drops onto the Starred and playlist rows. Each library call runs to its
// end on the main thread; a failure is reported through failed() (the main
// window shows it in its "Error" alert) and leaves the view state as it was
// before the failing step.
//
// Inline naming: idle -> naming (after a successful create) -> idle, by
// finalizeRename() (Return) or cancelCreation() (Escape).
class PlaylistOperations : public QObject {
    Q_OBJECT
public:
    // `library` answers the current playlist library (it is replaced when the
    // playlist storage moves).
    PlaylistOperations(std::function<PlaylistLibrary&()> library, SidebarSelection& selection,
                       QObject* parent = nullptr);

    // "Untitled", else "Untitled 2", "Untitled 3", ... : the first name no
    // playlist has.
    static QString firstFreeName(const QList<Playlist>& playlists);

    // The playlist whose row shows the name field; empty while idle.
    const QString& editingName() const { return m_editingName; }
    bool isEditing() const { return !m_editingName.isEmpty(); }
    // The field's text.
    const QString& editingText() const { return m_editingText; }
    void setEditingText(const QString& text) { m_editingText = text; }

    // Creates a playlist with a free default name, selects it and opens its
    // name field.
    void createNewPlaylistInline();
    // Return in the name field: renames to the trimmed text unless it is
    // empty or unchanged.
    void finalizeRename();
    // Escape in the name field: deletes the new playlist (errors ignored) and
    // selects Local Files.
    void cancelCreation();
    // Deletes a playlist; when it was selected, Local Files is selected.
    void deletePlaylist(const QString& name);

    // Stars every dropped track reference, in order; false when there is none.
    bool dropOnStarred(const QMimeData& data);
    // Appends the dropped references, or else the dropped files with a
    // supported extension, to the playlist, in order; false when none.
    bool dropOnPlaylist(const QString& name, const QMimeData& data, const QSet<QString>& supportedExtensions);

signals:
    // The name field opened or closed.
    void editingChanged();
    void failed(std::exception_ptr error);

private:
    void stopEditing();
    // Runs `operation`; reports what it throws. True when it succeeded.
    bool attempt(const std::function<void()>& operation);

    std::function<PlaylistLibrary&()> m_library;
    SidebarSelection& m_selection;
    QString m_editingName;
    QString m_editingText;
};

} // namespace vessa
