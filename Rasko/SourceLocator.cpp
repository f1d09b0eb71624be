#include "Rasko/SourceLocator.h"

#include "VessaCore/PathExtension.h"

namespace vessa {

std::optional<QString> SourceLocator::inferredFileExtension() const
{
    if (m_kind == Kind::data)
        return std::nullopt;
    return pathExtension(m_path).toLower();
}

} // namespace vessa
