#pragma once

// The application object over a home folder of its own (see AppStateRig): a
// settings file in it, the app state built for real or failing on purpose,
// and document prompts the test answers.

#include "Vessa/App/Updates/Updater.h"
#include "Vessa/Views/MainWindow/VessaApp.h"
#include "tests/VessaApp/AppStateRig.h"

#include <QSettings>

#include <memory>

namespace vessa::test {

struct VessaAppRig : AppStateRig {
    // Whatever the app state's creation should fail with; nothing: it is built.
    std::optional<QString> failure;
    DocumentPrompts prompts;
    SettingsView::FolderChooser chooseFolder;

    VessaAppRig()
    {
        keepOffTheSessionBus();
        prompts.chooseFilesToOpen = [](QWidget*) { return QStringList(); };
        prompts.chooseSaveLocation = [](QWidget*, const QString&) { return std::optional<QString>(); };
        prompts.askToSaveChanges = [](QWidget*, const QString&) { return DocumentPrompts::CloseAnswer::cancel; };
    }

    std::unique_ptr<VessaApp> make()
    {
        VessaApp::Options options;
        const QString file = settingsFile();
        options.makeSettings = [file] { return std::make_unique<QSettings>(file, QSettings::IniFormat); };
        const std::optional<QString> fail = failure;
        options.createAppState = [fail](std::unique_ptr<QSettings> settings) {
            if (fail)
                return AppState::Creation{nullptr, *fail};
            return AppState::create(std::move(settings));
        };
        // The prompts read the rig's current answers.
        options.documentPrompts = DocumentPrompts{
            [this](QWidget* parent) { return prompts.chooseFilesToOpen(parent); },
            [this](QWidget* parent, const QString& proposal) { return prompts.chooseSaveLocation(parent, proposal); },
            [this](QWidget* parent, const QString& title) { return prompts.askToSaveChanges(parent, title); }};
        options.chooseFolder = [this](QWidget* parent, const QString& message) {
            return chooseFolder ? chooseFolder(parent, message) : std::optional<QString>();
        };
        return std::make_unique<VessaApp>(std::move(options));
    }
};

} // namespace vessa::test
