#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace vessa {

// File names and paths are bytes on Linux; the program carries them as
// QString. A name that is valid UTF-8 becomes exactly its text, as everywhere
// else. A byte that is not part of a valid UTF-8 sequence (an old Latin-1
// rip's "Caf\xe9.mp3") becomes the lone surrogate U+DC00 + byte (U+DC80 to
// U+DCFF), which no valid UTF-8 text can contain, so the path turns back into
// exactly the bytes it came from. Such a text must reach the file system only
// through pathToBytes(): QFile::encodeName() and QString::toUtf8() would
// replace the surrogates.

// The text of a path or name read from the file system.
QString pathFromBytes(QByteArrayView bytes);

// The bytes to hand to the file system for a path made by pathFromBytes() (or
// any text: characters other than those surrogates are written as UTF-8).
QByteArray pathToBytes(QStringView path);

// Whether the path holds bytes that are not UTF-8 (escaped as above).
bool hasUndecodedBytes(QStringView path);

// Whether something exists at the path (following symbolic links).
bool pathExists(QStringView path);

// A name for people: the text itself, or, for a name that is not UTF-8, its
// bytes read as Latin-1 ("Caf\xe9" reads "Café").
QString readableName(QStringView name);

} // namespace vessa
