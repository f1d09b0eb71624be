#pragma once

#include <QString>
#include <QWidget>

#include <functional>

class QToolButton;

namespace vessa {

class ElidedLabel;

// One music folder in the Settings window: its name, its full path on one
// line (losing its middle when too long), its track count ("%lld tracks")
// and a remove button that acts at once, without asking.
class WatchedFolderRow : public QWidget {
    Q_OBJECT
public:
    WatchedFolderRow(const QString& folder, qint64 trackCount, std::function<void()> onRemove,
                     QWidget* parent = nullptr);

    static QString trackCountText(qint64 trackCount);

    ElidedLabel* pathLabel() const { return m_pathLabel; }
    QToolButton* removeButton() const { return m_removeButton; }

private:
    ElidedLabel* m_pathLabel;
    QToolButton* m_removeButton;
};

} // namespace vessa
