#pragma once

#include "Rasko/SourceLocator.h"
#include "Rasko/TrackMetadata.h"

namespace vessa {

// The tags of an audio file on disk or in memory: title, artist and album from
// the container's metadata, else the audio stream's; track and disc numbers
// ("3/12" gives 3); the cover from the attached pictures, the front cover
// first; the duration. Empty tag values count as absent.
//
// Only the container's header is read when it gives the audio stream's
// parameters and length (FLAC, MP4, WAV, MP3 with a length header): no decoder
// is opened and no frame is probed. Otherwise the streams are probed, and a
// length that FFmpeg could only estimate from the bit rate (raw ADTS AAC) is
// counted exactly from the packets, without decoding them.
//
// Throws CoreAudioDecoderError::openFailed when the file cannot be read, has
// no audio stream FFmpeg can decode, or holds no audio data at all.
TrackMetadata readAudioFileTags(const SourceLocator& locator);

} // namespace vessa
