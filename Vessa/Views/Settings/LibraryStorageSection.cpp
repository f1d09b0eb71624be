#include "Vessa/Views/Settings/LibraryStorageSection.h"

#include "Vessa/App/Playlists/PlaylistStoragePreferences.h"
#include "Vessa/Views/Settings/SettingsStyle.h"
#include "Vessa/Views/Shared/CoalescedRefresh.h"
#include "Vessa/Views/Shared/ElidedLabel.h"

#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vessa {

LibraryStorageSection::LibraryStorageSection(PlaylistStoragePreferences& preferences,
                                             SettingsView::FolderChooser chooseFolder, QWidget* parent)
    : QWidget(parent),
      m_preferences(preferences),
      m_chooseFolder(std::move(chooseFolder)),
      m_refresh(new CoalescedRefresh([this] { showState(); }, this)),
      m_picker(new QComboBox(this)),
      m_cloudFolder(new ElidedLabel(QString(), this)),
      m_chooseButton(new QPushButton(tr("Choose..."), this)),
      m_footer(new QLabel(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* form = new QFormLayout;
    form->setContentsMargins(0, 0, 0, 0);
    m_picker->setObjectName(QStringLiteral("storagePicker"));
    for (const LibraryStorageLocation location : libraryStorageLocationAllCases)
        m_picker->addItem(label(location), toString(location));
    form->addRow(tr("Storage"), m_picker);

    auto* cloudRow = new QHBoxLayout;
    m_cloudFolder->setObjectName(QStringLiteral("cloudFolderPath"));
    SettingsStyle::makeCaption(m_cloudFolder);
    cloudRow->addWidget(m_cloudFolder, 1);
    m_chooseButton->setObjectName(QStringLiteral("chooseCloudFolderButton"));
    cloudRow->addWidget(m_chooseButton);
    form->addRow(tr("Cloud Folder"), cloudRow);
    layout->addLayout(form);

    // The footer is the owner's to place, below the form's group.
    m_footer->setObjectName(QStringLiteral("storageFooter"));
    SettingsStyle::makeFooter(m_footer);

    connect(m_picker, &QComboBox::activated, this, [this](int index) {
        if (const auto location = libraryStorageLocationFromString(m_picker->itemData(index).toString()))
            m_preferences.setStorageLocation(*location);
    });
    connect(m_chooseButton, &QPushButton::clicked, this, &LibraryStorageSection::chooseCloudFolder);
    connect(&m_preferences, &PlaylistStoragePreferences::storageLocationChanged, m_refresh, &CoalescedRefresh::request);
    connect(&m_preferences, &PlaylistStoragePreferences::cloudContainerDirectoryChanged, m_refresh,
            &CoalescedRefresh::request);
    showState();
}

QString LibraryStorageSection::label(LibraryStorageLocation location)
{
    switch (location) {
    case LibraryStorageLocation::automatic: return tr("Automatic");
    case LibraryStorageLocation::icloud: return tr("Cloud Folder");
    case LibraryStorageLocation::local: return tr("On This Device");
    }
    return {};
}

QString LibraryStorageSection::footer(LibraryStorageLocation location, bool isUsingCloudFolder)
{
    const QString unavailable = tr("The cloud folder is not available. Playlists are stored on this device.");
    switch (location) {
    case LibraryStorageLocation::automatic:
        return isUsingCloudFolder ? tr("Playlists are syncing via the cloud folder.") : unavailable;
    case LibraryStorageLocation::icloud:
        return isUsingCloudFolder ? tr("Playlists are stored in the cloud folder and sync across devices.")
                                  : unavailable;
    case LibraryStorageLocation::local: return tr("Playlists are stored only on this device.");
    }
    return {};
}

void LibraryStorageSection::chooseCloudFolder()
{
    const std::optional<QString> folder =
        m_chooseFolder(this, tr("Choose the folder your sync client keeps in the cloud"));
    if (folder && !folder->isEmpty())
        m_preferences.setCloudContainerDirectory(*folder);
}

void LibraryStorageSection::showState()
{
    const LibraryStorageLocation location = m_preferences.storageLocation();
    m_picker->setCurrentIndex(m_picker->findData(toString(location)));
    const QString cloudFolder = m_preferences.cloudContainerDirectory();
    m_cloudFolder->setFullText(cloudFolder.isEmpty() ? tr("None chosen") : QDir::toNativeSeparators(cloudFolder));
    m_footer->setText(footer(location, location != LibraryStorageLocation::local && m_preferences.isUsingiCloud()));
}

} // namespace vessa
