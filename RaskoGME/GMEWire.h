#pragma once

#include "RaskoGME/GMEEmu.h"
#include "RaskoGME/GMEError.h"

#include <QByteArray>
#include <QDataStream>

#include <optional>

namespace vessa {

// How the chip-music plug-in and its helper worker write track information
// and errors into their messages.
QDataStream& operator<<(QDataStream& out, const std::optional<GMETrackInfo>& info);
QDataStream& operator>>(QDataStream& in, std::optional<GMETrackInfo>& info);

QByteArray gmeErrorPayload(const GMEError& error);
// The error a "failed" reply carries; a damaged payload reads as openFailed.
GMEError gmeErrorFromPayload(const QByteArray& payload);

} // namespace vessa
