#pragma once

#include "Rasko/SourcePlugin.h"

namespace vessa {

// The stand-in source of tracks found through a playlist's file hint. Never
// registered, never chosen (canHandle is always false) and never asked to resolve.
class DirectFileSource final : public SourcePlugin {
public:
    DirectFileSource() = default;

    static const std::shared_ptr<DirectFileSource>& shared();

    QString name() const override;
    bool canHandle(const TrackRef& ref) const override;
    [[noreturn]] SourceResult resolve(const TrackRef& ref) override;
};

} // namespace vessa
