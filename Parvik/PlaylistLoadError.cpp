#include "Parvik/PlaylistLoadError.h"

#include "VessaCore/ExceptionDescription.h"

namespace vessa {

QString PlaylistLoadError::errorDescription() const
{
    return describeException(error);
}

} // namespace vessa
