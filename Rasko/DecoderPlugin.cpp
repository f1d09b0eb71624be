#include "Rasko/DecoderPlugin.h"

namespace vessa {

bool DecoderPlugin::canDecode(const QString& fileExtension) const
{
    return supportedExtensions().contains(fileExtension.toLower());
}

AudioStream DecoderPlugin::open(const SourceLocator& locator, std::optional<qint64> subTrackIndex, const DecoderHints&)
{
    return open(locator, subTrackIndex);
}

} // namespace vessa
