#pragma once

#include <QFont>
#include <QPalette>
#include <QPixmap>
#include <QString>

namespace vessa {

// The picture under the pointer while tracks are dragged: a note symbol, the
// title in medium weight and, when there is one, the artist below it in a
// smaller secondary text, on a rounded panel.
class DragPreview {
public:
    DragPreview(QString title, QString artist);

    const QString& title() const { return m_title; }
    const QString& artist() const { return m_artist; }

    // Drawn at `devicePixelRatio` (2 for a sharp picture), its size in
    // device-independent pixels is the pixel size divided by the ratio.
    QPixmap render(const QPalette& palette, const QFont& font, qreal devicePixelRatio = 2.0) const;

    // Longest line, in device-independent pixels, before the text is elided.
    static constexpr int maximumTextWidth = 280;

private:
    QString m_title;
    QString m_artist;
};

} // namespace vessa
