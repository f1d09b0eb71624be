#pragma once

#include "Vessa/Views/TrackTable/TrackRow.h"
#include "Vessa/Views/TrackTable/TrackTableColumn.h"

#include <QColor>
#include <QFont>
#include <QPalette>

namespace vessa {

// The colours and fonts of the table's text cells, worked out once per
// palette and font rather than per cell.
class TrackTableStyle {
public:
    TrackTableStyle(const QPalette& palette, const QFont& font);

    struct Cell {
        QColor color;
        QFont font;
    };
    // The title is in the label colour (semibold while playing), the other
    // texts in the secondary colour, numbers with digits of one width; a row
    // that cannot be played draws everything in the tertiary colour.
    Cell cell(TrackTableColumn::Kind column, const TrackRow& row) const;

    const QColor& labelColor() const { return m_label; }
    const QColor& secondaryColor() const { return m_secondary; }
    const QColor& tertiaryColor() const { return m_tertiary; }

    // `font` itself when its digits already share one width, else the
    // system's fixed-pitch font at the same size.
    static QFont monospacedDigitFont(const QFont& font);

private:
    QColor m_label;
    QColor m_secondary;
    QColor m_tertiary;
    QFont m_regular;
    QFont m_semibold;
    QFont m_digits;
};

} // namespace vessa
