#pragma once

#include "Rasko/SourceResult.h"
#include "VessaCore/TrackRef.h"

#include <memory>

namespace vessa {

// Turns a TrackRef into the location of its bytes. Thread-safe. canHandle is
// a quick test without side effects, asked on every registry lookup. resolve
// blocks; call it off the main thread.
class SourcePlugin {
public:
    virtual ~SourcePlugin() = default;

    virtual QString name() const = 0;
    virtual bool canHandle(const TrackRef& ref) const = 0;
    // Throws when the reference cannot be found.
    virtual SourceResult resolve(const TrackRef& ref) = 0;
};

using SourcePluginPtr = std::shared_ptr<SourcePlugin>;

} // namespace vessa
