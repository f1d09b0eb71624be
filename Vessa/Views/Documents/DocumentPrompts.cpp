#include "Vessa/Views/Documents/DocumentPrompts.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(DocumentPrompts)
};

} // namespace

QStringList DocumentPrompts::openFilters()
{
    return {Text::tr("Playlists (*.parvik *.PARVIK *.m3u *.M3U *.m3u8 *.M3U8)"),
            Text::tr("Vessa Playlists (*.parvik *.PARVIK)"), Text::tr("M3U Playlists (*.m3u *.M3U *.m3u8 *.M3U8)")};
}

DocumentPrompts DocumentPrompts::standard()
{
    DocumentPrompts prompts;
    prompts.chooseFilesToOpen = [](QWidget* parent) {
        QFileDialog dialog(parent, Text::tr("Open"));
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setNameFilters(openFilters());
        dialog.setDirectory(QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
    };
    prompts.chooseSaveLocation = [](QWidget* parent, const QString& proposedPath) -> std::optional<QString> {
        QFileDialog dialog(parent, Text::tr("Save As"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilters({Text::tr("Vessa Playlists (*.parvik)")});
        dialog.setDefaultSuffix(QStringLiteral("parvik"));
        dialog.selectFile(proposedPath);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().constFirst();
    };
    prompts.askToSaveChanges = [](QWidget* parent, const QString& title) {
        QMessageBox box(QMessageBox::Warning, Text::tr("Vessa"),
                        Text::tr("Do you want to save the changes made to the document \u201C%1\u201D?").arg(title),
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
        box.setInformativeText(Text::tr("Your changes will be lost if you don't save them."));
        box.setDefaultButton(QMessageBox::Save);
        box.setWindowModality(Qt::WindowModal);
        switch (box.exec()) {
        case QMessageBox::Save: return CloseAnswer::save;
        case QMessageBox::Discard: return CloseAnswer::discard;
        default: return CloseAnswer::cancel;
        }
    };
    return prompts;
}

} // namespace vessa
