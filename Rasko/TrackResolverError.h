#pragma once

#include "VessaCore/Error.h"
#include "VessaCore/TrackRef.h"

#include <QString>

namespace vessa {

// Why a track reference could not be resolved by the plug-in chain.
class TrackResolverError : public Error {
public:
    enum class Kind { noSourcePlugin, noDecoderPlugin };

    // No registered source accepts the reference.
    static TrackResolverError noSourcePlugin(TrackRef ref);
    // No registered decoder accepts the extension the source reported.
    static TrackResolverError noDecoderPlugin(TrackRef ref, QString fileExtension);

    Kind kind() const { return m_kind; }
    const TrackRef& ref() const { return m_ref; }
    // The extension of a noDecoderPlugin error; empty otherwise.
    const QString& fileExtension() const { return m_fileExtension; }

    QString description() const override;

private:
    TrackResolverError(Kind kind, TrackRef ref, QString fileExtension);

    Kind m_kind;
    TrackRef m_ref;
    QString m_fileExtension;
};

} // namespace vessa
