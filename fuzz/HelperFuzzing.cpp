#include "fuzz/HelperFuzzing.h"

#include <algorithm>
#include <iterator>

namespace vessa::fuzz {

namespace {

constexpr HelperMessageType operations[] = {HelperMessageType::gmeScan, HelperMessageType::gmeExtract,
                                            HelperMessageType::gmeOpen, HelperMessageType::mikmodExtract,
                                            HelperMessageType::mikmodOpen};
constexpr int operationCount = int(std::size(operations));

} // namespace

HelperFuzzOptions HelperFuzzOptions::take(FuzzInput& input)
{
    const std::uint8_t bits = input.takeByte();
    HelperFuzzOptions options;
    options.operation = operations[(bits & 0x07) % operationCount];
    options.rawPayload = (bits & 0x08) != 0;
    options.renderRequests = (bits >> 4) & 0x03;
    options.batchesPerRequest = (bits & 0x40) ? 2 : 1;
    options.closes = (bits & 0x80) != 0;
    return options;
}

char HelperFuzzOptions::byte() const
{
    const auto index = std::find(std::begin(operations), std::end(operations), operation) - std::begin(operations);
    check(index < operationCount, "the seed's operation is one the helper serves");
    return char(int(index) | (rawPayload ? 0x08 : 0) | (renderRequests & 0x03) << 4 | (batchesPerRequest > 1 ? 0x40 : 0)
                | (closes ? 0x80 : 0));
}

QByteArray requestPayload(HelperMessageType operation, const DecoderFuzzOptions& options, const QByteArray& file)
{
    const bool hasExtension = options.extension.has_value();
    const QString extension = options.extension.value_or(QString());
    const double seconds = options.seekSeconds;
    switch (operation) {
    case HelperMessageType::gmeScan: return helperPayload(file, extension);
    case HelperMessageType::gmeExtract:
        return helperPayload(file, hasExtension, extension, qint32(options.subTrackIndex));
    case HelperMessageType::gmeOpen:
        return helperPayload(file, hasExtension, extension, options.subTrackIndex, options.infiniteLoop, seconds > 0,
                             seconds);
    case HelperMessageType::mikmodExtract: return helperPayload(file);
    default: return helperPayload(file, seconds);
    }
}

} // namespace vessa::fuzz
