#include "Rasko/TrackResolverError.h"

namespace vessa {

TrackResolverError::TrackResolverError(Kind kind, TrackRef ref, QString fileExtension)
    : m_kind(kind), m_ref(std::move(ref)), m_fileExtension(std::move(fileExtension))
{
}

TrackResolverError TrackResolverError::noSourcePlugin(TrackRef ref)
{
    return TrackResolverError(Kind::noSourcePlugin, std::move(ref), QString());
}

TrackResolverError TrackResolverError::noDecoderPlugin(TrackRef ref, QString fileExtension)
{
    return TrackResolverError(Kind::noDecoderPlugin, std::move(ref), std::move(fileExtension));
}

QString TrackResolverError::description() const
{
    switch (m_kind) {
    case Kind::noSourcePlugin: return QStringLiteral("No source plugin can handle ") + m_ref.uri();
    case Kind::noDecoderPlugin:
        return QStringLiteral("No decoder plugin for ") + m_ref.uri() + QStringLiteral(" (extension: ")
               + m_fileExtension + u')';
    }
    return QString();
}

} // namespace vessa
