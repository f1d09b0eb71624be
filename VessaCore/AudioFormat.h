#pragma once

#include <QJsonObject>
#include <QtGlobal>

namespace vessa {

// Describes a PCM stream. Every decoder produces 32-bit float samples with
// `interleaved` false; the flag only tells the output how to build its format.
struct AudioFormat {
    double sampleRate = 0.0;
    qint64 channelCount = 0;
    qint64 bytesPerSample = 0;
    bool interleaved = false;

    constexpr AudioFormat() = default;
    constexpr AudioFormat(double sampleRate, qint64 channelCount, qint64 bytesPerSample, bool interleaved)
        : sampleRate(sampleRate), channelCount(channelCount), bytesPerSample(bytesPerSample), interleaved(interleaved)
    {
    }

    static constexpr AudioFormat cdQuality() { return AudioFormat(44100.0, 2, 4, false); }

    QJsonObject toJson() const;
    // Throws JsonDecodingError when a key is missing or has the wrong type.
    static AudioFormat fromJson(const QJsonObject& object);

    friend constexpr bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

} // namespace vessa
