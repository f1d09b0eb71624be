#pragma once

#include <QString>
#include <QStringList>

namespace vessa {

// The fields that are not empty, joined by " - ": a track named by artist,
// album and title reads "Ghost - Missing Track" when it has no album, never
// "Ghost -  - Missing Track". Empty when every field is.
QString joinedFields(const QStringList& fields);

} // namespace vessa
