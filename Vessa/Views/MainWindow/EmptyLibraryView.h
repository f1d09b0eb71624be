#pragma once

#include <QWidget>

class QLabel;

namespace vessa {

// The detail pane while the library has no tracks and no scan runs: a large
// note-list symbol, "No tracks loaded" and a hint on how to add music,
// always shown whole.
class EmptyLibraryView : public QWidget {
    Q_OBJECT
public:
    explicit EmptyLibraryView(QWidget* parent = nullptr);

    QString title() const;
    QString hint() const;

    QSize minimumSizeHint() const override;

private:
    QLabel* m_title;
    QLabel* m_hint;
};

} // namespace vessa
