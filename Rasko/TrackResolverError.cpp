#include "Rasko/TrackResolverError.h"

#include <QCoreApplication>

namespace vessa {

namespace {

struct Text {
    Q_DECLARE_TR_FUNCTIONS(TrackResolverError)
};

} // namespace

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
    case Kind::noSourcePlugin: return Text::tr("No source plugin can handle %1").arg(m_ref.uri());
    case Kind::noDecoderPlugin:
        return Text::tr("No decoder plugin for %1 (extension: %2)").arg(m_ref.uri(), m_fileExtension);
    }
    return QString();
}

} // namespace vessa
