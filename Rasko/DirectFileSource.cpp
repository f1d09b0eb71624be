#include "Rasko/DirectFileSource.h"

#include <QtGlobal>

namespace vessa {

const std::shared_ptr<DirectFileSource>& DirectFileSource::shared()
{
    static const std::shared_ptr<DirectFileSource> instance = std::make_shared<DirectFileSource>();
    return instance;
}

QString DirectFileSource::name() const
{
    return QStringLiteral("DirectFile");
}

bool DirectFileSource::canHandle(const TrackRef&) const
{
    return false;
}

SourceResult DirectFileSource::resolve(const TrackRef&)
{
    qFatal("DirectFileSource.resolve() should never be called — tracks are resolved via file hints, not through "
           "the source plugin chain");
}

} // namespace vessa
