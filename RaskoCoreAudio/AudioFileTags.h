#pragma once

#include "Rasko/TrackMetadata.h"

namespace vessa {

class AudioFileInput;

// The tags of an opened audio file: title, artist and album from the
// container's metadata, else the audio stream's; track and disc numbers
// ("3/12" gives 3); the cover from the attached pictures, the front cover
// first; the duration. Empty tag values count as absent.
TrackMetadata readAudioFileTags(const AudioFileInput& input);

} // namespace vessa
