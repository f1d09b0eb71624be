#pragma once

#include <QByteArrayView>
#include <QList>
#include <QStringView>

namespace vessa {

// Text handling shared by the playlist readers. Deliberately not Qt's
// QString::split/trimmed, which know other characters.

// LF, vertical tab, form feed, CR, NEL, LINE SEPARATOR, PARAGRAPH SEPARATOR.
bool isPlaylistLineBreak(QChar c);

// Splits at every line-break character; each one ends a line, so CR LF gives
// an empty line between the two, and an empty text gives one empty line.
QList<QStringView> splitPlaylistLines(QStringView text);

// Removes TAB and the space separators (Unicode category Zs) at both ends.
QStringView trimSpacesAndTabs(QStringView text);

// The bytes or text without one leading byte-order mark.
QByteArrayView withoutByteOrderMark(QByteArrayView bytes);
QStringView withoutByteOrderMark(QStringView text);

} // namespace vessa
