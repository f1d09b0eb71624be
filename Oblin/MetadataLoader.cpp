#include "Oblin/MetadataLoader.h"

namespace vessa {

MetadataLoader::MetadataLoader(TrackResolverPtr resolver, QObject* parent)
    : QObject(parent), m_resolver(std::move(resolver))
{
}

// Tag reading cannot be interrupted: destroying the map joins the workers.
MetadataLoader::~MetadataLoader() = default;

void MetadataLoader::load(SourceLocator locator, std::optional<qint64> subTrackIndex, Completion completion)
{
    const quint64 generation = ++m_generation;
    m_loading = true;
    m_workers.emplace(
        generation, std::jthread([this, generation, resolver = m_resolver, locator = std::move(locator), subTrackIndex,
                                  completion = std::move(completion)] {
            auto metadata = std::make_shared<std::optional<TrackMetadata>>();
            std::exception_ptr error;
            try {
                *metadata = resolver->loadMetadata(locator, subTrackIndex);
            } catch (...) {
                error = std::current_exception();
            }
            QMetaObject::invokeMethod(
                this,
                [this, generation, metadata, error, completion] { finish(generation, *metadata, error, completion); },
                Qt::QueuedConnection);
        }));
}

void MetadataLoader::cancel()
{
    ++m_generation;
    m_loading = false;
}

void MetadataLoader::finish(quint64 generation, std::optional<TrackMetadata> metadata, std::exception_ptr error,
                            const Completion& completion)
{
    // The worker has posted its result and is at its end.
    m_workers.erase(generation);
    const bool stale = generation != m_generation;
    if (!stale)
        m_loading = false;
    if (completion)
        completion(std::move(metadata), error, stale);
}

} // namespace vessa
