#pragma once

#include "Rasko/SourceLocator.h"
#include "Rasko/TrackMetadata.h"
#include "Rasko/TrackResolver.h"

#include <QObject>

#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <thread>

namespace vessa {

// Reads the tags of the playing track on a worker thread. Each load gets a
// new generation; a newer load or cancel() makes every earlier one stale, and
// its completion says so.
//
// Threads: load, cancel and the completions run on the main thread; tag
// reading runs on one worker per load. Destroying the loader waits for the
// workers still reading; their completions are then not called.
class MetadataLoader : public QObject {
    Q_OBJECT

public:
    // Exactly one of `metadata` and `error` is set. `stale`: a newer load or
    // a cancel came after this load started.
    using Completion = std::function<void(std::optional<TrackMetadata> metadata, std::exception_ptr error, bool stale)>;

    explicit MetadataLoader(TrackResolverPtr resolver, QObject* parent = nullptr);
    ~MetadataLoader() override;

    void load(SourceLocator locator, std::optional<qint64> subTrackIndex, Completion completion);
    void cancel();
    // A load started and neither finished nor cancelled.
    bool isLoading() const { return m_loading; }

private:
    void finish(quint64 generation, std::optional<TrackMetadata> metadata, std::exception_ptr error,
                const Completion& completion);

    const TrackResolverPtr m_resolver;
    quint64 m_generation = 0;
    bool m_loading = false;
    std::map<quint64, std::jthread> m_workers;
};

} // namespace vessa
