#include "Rasko/DecoderPlugin.h"

namespace vessa {

bool DecoderPlugin::canDecode(const QString& fileExtension) const
{
    return supportedExtensions().contains(fileExtension.toLower());
}

} // namespace vessa
