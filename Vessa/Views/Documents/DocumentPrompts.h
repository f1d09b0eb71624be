#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace vessa {

// The questions the document windows ask the user: which files to open,
// where to save, and what to do with unsaved changes. The standard ones are
// file dialogs and a message box; tests put in their own answers.
struct DocumentPrompts {
    enum class CloseAnswer { save, discard, cancel };

    // The files to open; empty when the user cancels.
    std::function<QStringList(QWidget* parent)> chooseFilesToOpen;
    // Where to save the document, starting at the proposed path; nothing
    // when the user cancels.
    std::function<std::optional<QString>(QWidget* parent, const QString& proposedPath)> chooseSaveLocation;
    // Whether to save the changes of the document `title` before it closes.
    std::function<CloseAnswer(QWidget* parent, const QString& title)> askToSaveChanges;

    static DocumentPrompts standard();
    // The filters of the open dialog: every playlist file, then each kind,
    // with the extensions in both letter cases.
    static QStringList openFilters();
};

} // namespace vessa
