#pragma once

#include "Rasko/SourceLocator.h"
#include "Rasko/TrackMetadata.h"
#include "Rasko/TrackResolver.h"
#include "VessaCore/GenerationWorker.h"

#include <QObject>

#include <exception>
#include <functional>
#include <optional>

namespace vessa {

// Reads the tags of the playing track on a worker thread. Each load gets a
// new generation; a newer load or cancel() supersedes every earlier one.
//
// Threads: load, cancel and the completions run on the main thread; tag
// reading runs on one worker per load. Destroying the loader waits for the
// workers still reading; their completions are then not called.
class MetadataLoader : public QObject {
    Q_OBJECT

public:
    // Exactly one of `metadata` and `error` is set; the error is a
    // CancellationError when a newer load or a cancel came after this load
    // started.
    using Completion = std::function<void(std::optional<TrackMetadata> metadata, std::exception_ptr error)>;

    explicit MetadataLoader(TrackResolverPtr resolver, QObject* parent = nullptr);

    void load(SourceLocator locator, std::optional<qint64> subTrackIndex, Completion completion);
    void cancel();
    // A load started and neither finished nor cancelled.
    bool isLoading() const { return m_worker.isPending(); }

private:
    const TrackResolverPtr m_resolver;
    // A superseded read is asked to stop (an extractor that watches it ends
    // at once); destroying the loader joins its workers.
    GenerationWorker m_worker;
};

} // namespace vessa
