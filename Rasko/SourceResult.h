#pragma once

#include "Rasko/SourceLocator.h"

namespace vessa {

// What a source's resolve returns: where the bytes are, and the extension
// (without a dot) that chooses the decoder.
struct SourceResult {
    SourceLocator locator;
    QString fileExtension;

    SourceResult(SourceLocator locator, QString fileExtension)
        : locator(std::move(locator)), fileExtension(std::move(fileExtension))
    {
    }
};

} // namespace vessa
