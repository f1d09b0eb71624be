#include "Vessa/Views/Settings/WatchedFolderRow.h"

#include "Vessa/Views/Settings/SettingsStyle.h"
#include "Vessa/Views/Shared/ElidedLabel.h"
#include "Vessa/Views/Shared/PluralForm.h"
#include "Vessa/Views/Theme/Icons.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace vessa {

namespace {

constexpr int nameToPathSpacing = 2;
constexpr int removeIconSize = 16;

} // namespace

WatchedFolderRow::WatchedFolderRow(const QString& folder, qint64 trackCount, std::function<void()> onRemove,
                                   QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);

    auto* names = new QVBoxLayout;
    names->setSpacing(nameToPathSpacing);
    auto* name = new QLabel(QFileInfo(folder).fileName(), this);
    name->setObjectName(QStringLiteral("folderName"));
    name->setWordWrap(true);
    names->addWidget(name);
    m_pathLabel = new ElidedLabel(QDir::toNativeSeparators(folder), this);
    m_pathLabel->setObjectName(QStringLiteral("folderPath"));
    SettingsStyle::makeCaption(m_pathLabel);
    names->addWidget(m_pathLabel);
    layout->addLayout(names, 1);

    auto* count = new QLabel(trackCountText(trackCount), this);
    count->setObjectName(QStringLiteral("trackCount"));
    SettingsStyle::makeCaption(count);
    layout->addWidget(count);

    m_removeButton = new QToolButton(this);
    m_removeButton->setObjectName(QStringLiteral("removeButton"));
    m_removeButton->setAutoRaise(true);
    m_removeButton->setToolTip(tr("Remove"));
    m_removeButton->setIcon(
        QIcon(Icons::tinted(QStringLiteral("minus.circle.fill"), QSize(removeIconSize, removeIconSize),
                            devicePixelRatioF(), QColor(Qt::red))));
    connect(m_removeButton, &QToolButton::clicked, this, [onRemove = std::move(onRemove)] { onRemove(); });
    layout->addWidget(m_removeButton);
}

QString WatchedFolderRow::trackCountText(qint64 trackCount)
{
    return tr("%1 tracks", nullptr, pluralFormCount(trackCount)).arg(trackCount);
}

} // namespace vessa
