#include "VessaCore/AudioOutput.h"

namespace vessa {

void AudioOutput::waitForQueueDrained(std::stop_token)
{
}

} // namespace vessa
