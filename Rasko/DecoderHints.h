#pragma once

#include <QString>

#include <optional>
#include <stop_token>

namespace vessa {

// Options for DecoderPlugin::open: loop the track endlessly, the extension
// the track was resolved with (for data locators, which carry no path), and
// the stop of the request the open serves (a newer track supersedes it). A
// decoder whose open may run long watches `stop` and then throws
// CancellationError; by default it never stops.
struct DecoderHints {
    bool infiniteLoop = false;
    std::optional<QString> fileExtension;
    std::stop_token stop;

    DecoderHints() = default;
    explicit DecoderHints(bool infiniteLoop, std::optional<QString> fileExtension = std::nullopt,
                          std::stop_token stop = {})
        : infiniteLoop(infiniteLoop), fileExtension(std::move(fileExtension)), stop(std::move(stop))
    {
    }
};

} // namespace vessa
