#pragma once

#include <QString>

#include <optional>

namespace vessa {

// Options for DecoderPlugin::open: loop the track endlessly, and the
// extension the track was resolved with (for data locators, which carry no path).
struct DecoderHints {
    bool infiniteLoop = false;
    std::optional<QString> fileExtension;

    DecoderHints() = default;
    explicit DecoderHints(bool infiniteLoop, std::optional<QString> fileExtension = std::nullopt)
        : infiniteLoop(infiniteLoop), fileExtension(std::move(fileExtension))
    {
    }
};

} // namespace vessa
