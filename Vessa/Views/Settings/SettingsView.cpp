#include "Vessa/Views/Settings/SettingsView.h"

#include "Vessa/App/AppState.h"
#include "Vessa/App/Library/MusicLibrary.h"
#include "Vessa/App/Updates/Updater.h"
#include "Vessa/Views/Settings/LibraryStorageSection.h"
#include "Vessa/Views/Settings/SettingsStyle.h"
#include "Vessa/Views/Settings/WatchedFolderRow.h"
#include "Vessa/Views/Shared/BusyIndicator.h"
#include "Vessa/Views/Shared/CoalescedRefresh.h"
#include "Vessa/Views/Theme/Icons.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vessa {

namespace {

constexpr int padding = 20;
constexpr int sectionSpacing = 20;
constexpr int progressSpacing = 8;

// A section of the form: header, a framed group of rows, an optional footer.
struct Section {
    QWidget* widget;
    QVBoxLayout* content;
};

Section makeSection(QWidget* header, const QString& footer, QWidget* parent)
{
    auto* section = new QWidget(parent);
    auto* layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(header);
    auto* group = new QFrame(section);
    group->setFrameShape(QFrame::StyledPanel);
    auto* content = new QVBoxLayout(group);
    layout->addWidget(group);
    if (!footer.isEmpty()) {
        auto* footerLabel = new QLabel(footer, section);
        footerLabel->setObjectName(QStringLiteral("sectionFooter"));
        SettingsStyle::makeFooter(footerLabel);
        layout->addWidget(footerLabel);
    }
    return {section, content};
}

QLabel* headerLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    SettingsStyle::makeHeader(label);
    return label;
}

QPushButton* captionButton(const QString& text, const QString& symbol, QWidget* parent)
{
    auto* button = new QPushButton(Icons::icon(symbol), text, parent);
    QFont font = button->font();
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * 10 / 13);
    button->setFont(font);
    return button;
}

} // namespace

SettingsView::Services::Services(AppState& appState) : Services(appState.musicLibrary(), appState.storagePreferences())
{
}

SettingsView::SettingsView(AppState& appState, Updater& updater, FolderChooser chooseFolder, QWidget* parent)
    : SettingsView(Services(appState), updater, std::move(chooseFolder), parent)
{
}

SettingsView::SettingsView(Services services, Updater& updater, FolderChooser chooseFolder, QWidget* parent)
    : QWidget(parent),
      m_library(services.musicLibrary),
      m_storagePreferences(services.storage),
      m_updater(updater),
      m_chooseFolder(chooseFolder ? std::move(chooseFolder) : standardFolderChooser()),
      m_foldersRefresh(new CoalescedRefresh([this] { showFolders(); }, this)),
      m_scanRefresh(new CoalescedRefresh([this] { showScanState(); }, this))
{
    setMinimumSize(minimumWidth, minimumHeight);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);

    auto* form = new QWidget(scroll);
    auto* layout = new QVBoxLayout(form);
    layout->setContentsMargins(padding, padding, padding, padding);
    layout->setSpacing(sectionSpacing);
    layout->addWidget(makeUpdatesSection());
    layout->addWidget(makeStorageSection());
    layout->addWidget(makeFoldersSection());
    layout->addStretch();
    scroll->setWidget(form);

    connect(&m_library, &MusicLibrary::watchedDirectoriesChanged, m_foldersRefresh, &CoalescedRefresh::request);
    connect(&m_library, &MusicLibrary::scannedTracksChanged, m_foldersRefresh, &CoalescedRefresh::request);
    connect(&m_library, &MusicLibrary::isScanningChanged, m_scanRefresh, &CoalescedRefresh::request);
    connect(&m_library, &MusicLibrary::scanProgressChanged, m_scanRefresh, &CoalescedRefresh::request);
    showFolders();
    showScanState();
}

SettingsView::~SettingsView() = default;

SettingsView::FolderChooser SettingsView::standardFolderChooser()
{
    return [](QWidget* parent, const QString& message) -> std::optional<QString> {
        const QString folder = QFileDialog::getExistingDirectory(parent, message);
        if (folder.isEmpty())
            return std::nullopt;
        return folder;
    };
}

QString SettingsView::scanningText(const std::optional<LibraryScanProgress>& progress)
{
    if (!progress)
        return tr("Scanning...");
    return tr("Scanning %1/%2...").arg(progress->completed).arg(progress->total);
}

bool SettingsView::canRescan(bool isScanning, qsizetype folderCount)
{
    return !isScanning && folderCount > 0;
}

QWidget* SettingsView::makeUpdatesSection()
{
    Section section = makeSection(headerLabel(tr("Updates"), this), QString(), this);
    m_automaticChecks = new QCheckBox(tr("Automatically check for updates"), section.widget);
    m_automaticChecks->setObjectName(QStringLiteral("automaticChecksToggle"));
    m_automaticChecks->setChecked(m_updater.automaticallyChecksForUpdates());
    connect(m_automaticChecks, &QCheckBox::toggled, &m_updater, &Updater::setAutomaticallyChecksForUpdates);
    connect(&m_updater, &Updater::automaticallyChecksForUpdatesChanged, m_automaticChecks,
            [this] { m_automaticChecks->setChecked(m_updater.automaticallyChecksForUpdates()); });
    section.content->addWidget(m_automaticChecks);
    return section.widget;
}

QWidget* SettingsView::makeStorageSection()
{
    Section section = makeSection(headerLabel(tr("Library Storage"), this), QString(), this);
    m_storage = new LibraryStorageSection(m_storagePreferences, m_chooseFolder, section.widget);
    section.content->addWidget(m_storage);
    // The storage's footer stands below the group, like the other footers.
    section.widget->layout()->addWidget(m_storage->footerLabel());
    return section.widget;
}

QWidget* SettingsView::makeFoldersSection()
{
    auto* header = new QWidget(this);
    auto* headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    headerLayout->addWidget(headerLabel(tr("Music Folders"), header));
    headerLayout->addStretch();
    m_rescanButton = captionButton(tr("Rescan"), QStringLiteral("arrow.clockwise"), header);
    m_rescanButton->setObjectName(QStringLiteral("rescanButton"));
    connect(m_rescanButton, &QPushButton::clicked, this, [this] { m_library.rescanAll(ScanTrigger::user); });
    headerLayout->addWidget(m_rescanButton);
    m_addButton = captionButton(tr("Add"), QStringLiteral("plus"), header);
    m_addButton->setObjectName(QStringLiteral("addButton"));
    connect(m_addButton, &QPushButton::clicked, this, &SettingsView::addFolder);
    headerLayout->addWidget(m_addButton);

    Section section =
        makeSection(header, tr("Vessa scans these folders for audio files and indexes their metadata."), this);
    m_emptyFolders = new QLabel(tr("No folders added yet."), section.widget);
    m_emptyFolders->setObjectName(QStringLiteral("emptyFoldersLabel"));
    SettingsStyle::makeCaption(m_emptyFolders);
    m_emptyFolders->setFont(font());
    section.content->addWidget(m_emptyFolders);
    m_rowsLayout = new QVBoxLayout;
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    section.content->addLayout(m_rowsLayout);

    m_progressRow = new QWidget(section.widget);
    m_progressRow->setObjectName(QStringLiteral("progressRow"));
    auto* progressLayout = new QHBoxLayout(m_progressRow);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->setSpacing(progressSpacing);
    m_progressIndicator = new BusyIndicator(m_progressRow);
    progressLayout->addWidget(m_progressIndicator);
    m_progressLabel = new QLabel(m_progressRow);
    m_progressLabel->setObjectName(QStringLiteral("progressLabel"));
    SettingsStyle::makeCaption(m_progressLabel);
    progressLayout->addWidget(m_progressLabel, 1);
    section.content->addWidget(m_progressRow);
    return section.widget;
}

QList<WatchedFolderRow*> SettingsView::folderRows() const
{
    QList<WatchedFolderRow*> rows;
    for (int i = 0; i < m_rowsLayout->count(); ++i) {
        if (auto* row = qobject_cast<WatchedFolderRow*>(m_rowsLayout->itemAt(i)->widget()))
            rows.append(row);
    }
    return rows;
}

void SettingsView::showFolders()
{
    for (WatchedFolderRow* row : folderRows()) {
        m_rowsLayout->removeWidget(row);
        row->deleteLater();
    }
    const QStringList& folders = m_library.watchedDirectories();
    m_emptyFolders->setVisible(folders.isEmpty());
    for (const QString& folder : folders) {
        auto* row = new WatchedFolderRow(folder, m_library.trackCount(folder),
                                         [this, folder] { m_library.removeWatchedDirectory(folder); });
        m_rowsLayout->addWidget(row);
        row->setVisible(true);
    }
    showScanState();
}

void SettingsView::showScanState()
{
    m_rescanButton->setEnabled(canRescan(m_library.isScanning(), m_library.watchedDirectories().size()));
    m_progressRow->setVisible(m_library.isScanning());
    m_progressLabel->setText(scanningText(m_library.scanProgress()));
}

void SettingsView::addFolder()
{
    const std::optional<QString> folder = m_chooseFolder(this, tr("Choose a folder containing music files"));
    if (!folder || folder->isEmpty())
        return;
    m_library.addWatchedDirectory(*folder);
    m_library.rescanAll();
}

} // namespace vessa
