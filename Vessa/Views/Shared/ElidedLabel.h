#pragma once

#include <QLabel>

namespace vessa {

// A one-line label that loses the middle of a text too long for it, keeping
// its start and end; the whole text is its tool tip.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QString text, QWidget* parent = nullptr);

    const QString& fullText() const { return m_fullText; }
    void setFullText(QString text);

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    QString m_fullText;
};

} // namespace vessa
