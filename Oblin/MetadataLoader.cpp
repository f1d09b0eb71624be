#include "Oblin/MetadataLoader.h"

#include "VessaCore/Error.h"

namespace vessa {

MetadataLoader::MetadataLoader(TrackResolverPtr resolver, QObject* parent)
    : QObject(parent), m_resolver(std::move(resolver)), m_worker(this)
{
}

void MetadataLoader::load(SourceLocator locator, std::optional<qint64> subTrackIndex, Completion completion)
{
    m_worker.start([resolver = m_resolver, locator = std::move(locator), subTrackIndex](
                       std::stop_token stop) { return resolver->loadMetadata(locator, subTrackIndex, stop); },
                   [completion](TrackMetadata metadata, std::exception_ptr error) {
                       if (completion)
                           completion(error ? std::nullopt : std::optional(std::move(metadata)), error);
                   },
                   [completion] {
                       if (completion)
                           completion(std::nullopt, std::make_exception_ptr(CancellationError()));
                   });
}

void MetadataLoader::cancel()
{
    m_worker.supersede();
}

} // namespace vessa
