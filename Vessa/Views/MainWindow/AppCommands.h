#pragma once

#include <QObject>

class QAction;
class QMainWindow;

namespace vessa {

class Updater;

// The program's menu commands, one action each, shared by every window: the
// same File, Window and Help menus are put on each window's menu bar, and a
// shortcut works in whichever window is active. The actions only report
// that they were chosen; the application decides what they do.
//
// "Check for Updates..." is enabled only while the updater can check, so it
// starts disabled; Save and Save As only while a document window is active.
class AppCommands : public QObject {
    Q_OBJECT
public:
    explicit AppCommands(Updater& updater, QObject* parent = nullptr);

    // File
    QAction* const newPlaylist;     // Ctrl+N
    QAction* const newPlaylistFile; // Ctrl+Shift+N
    QAction* const open;            // Ctrl+O
    QAction* const save;            // Ctrl+S
    QAction* const saveAs;          // Ctrl+Shift+S
    QAction* const close;           // Ctrl+W
    QAction* const quit;            // Ctrl+Q
    // Window
    QAction* const showMainWindow;      // "Vessa", Ctrl+1
    QAction* const showEqualizerWindow; // "Equalizer", Ctrl+2
    QAction* const showSettingsWindow;  // "Settings", Ctrl+,
    // Help
    QAction* const checkForUpdates;

    // Gives `window` the File, Window and Help menus.
    void installMenus(QMainWindow& window) const;

    // Follows the active window (Save and Save As).
    void activeWindowChanged();

private:
    QAction* makeAction(const QString& text, const QString& shortcut, const QString& name);
};

} // namespace vessa
