#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <numbers>

namespace vessa::test {

// Builds a WAV file by hand: 16-bit integer or 32-bit float PCM with any rate,
// channel count and length, holding a ramp or a sine. sample() tells the exact
// float a decoder gives back for each frame and channel, so tests can compare
// decoded audio sample for sample.
//
// Ramp: channel c at frame n holds ((n + 7919 c) mod 65536 - 32768) / 32768,
// the same value in both encodings, so a ramp sample tells its frame number
// (modulo 65536) through rampFrame().
struct WavFixture {
    enum class Encoding { int16, float32 };
    enum class Content { ramp, sine };

    int sampleRate = 44100;
    int channelCount = 2;
    qint64 frameCount = 0;
    Encoding encoding = Encoding::int16;
    Content content = Content::ramp;
    double frequency = 440.0; // sine only; amplitude 0.5, each channel a sixth of a turn later

    float sample(qint64 frame, int channel) const
    {
        if (content == Content::ramp)
            return static_cast<float>(rampValue(frame, channel) - 32768) / 32768.0f;
        const double value = 0.5 * std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(frame) / sampleRate
                                            + channel * std::numbers::pi / 3.0);
        if (encoding == Encoding::float32)
            return static_cast<float>(value);
        return static_cast<float>(std::lrint(value * 32767.0)) / 32768.0f;
    }

    // The frame number (modulo 65536) that a ramp sample of `channel` stands for.
    static qint64 rampFrame(float value, int channel)
    {
        const qint64 k = std::lrint(static_cast<double>(value) * 32768.0) + 32768;
        return ((k - 7919 * channel) % 65536 + 65536) % 65536;
    }

    QByteArray bytes() const
    {
        const int bytesPerSample = encoding == Encoding::float32 ? 4 : 2;
        const qint64 dataSize = frameCount * channelCount * bytesPerSample;
        const int fmtSize = encoding == Encoding::float32 ? 18 : 16;
        QByteArray out;
        out.reserve(static_cast<qsizetype>(12 + 8 + fmtSize + 8 + dataSize));
        out += "RIFF";
        append32(out, static_cast<quint32>(4 + 8 + fmtSize + 8 + dataSize));
        out += "WAVE";
        out += "fmt ";
        append32(out, static_cast<quint32>(fmtSize));
        append16(out, encoding == Encoding::float32 ? 3 : 1);
        append16(out, static_cast<quint16>(channelCount));
        append32(out, static_cast<quint32>(sampleRate));
        append32(out, static_cast<quint32>(sampleRate * channelCount * bytesPerSample));
        append16(out, static_cast<quint16>(channelCount * bytesPerSample));
        append16(out, static_cast<quint16>(bytesPerSample * 8));
        if (fmtSize == 18)
            append16(out, 0);
        out += "data";
        append32(out, static_cast<quint32>(dataSize));
        for (qint64 frame = 0; frame < frameCount; ++frame) {
            for (int channel = 0; channel < channelCount; ++channel) {
                const float value = sample(frame, channel);
                if (encoding == Encoding::float32) {
                    quint32 bits = 0;
                    std::memcpy(&bits, &value, sizeof bits);
                    append32(out, bits);
                } else {
                    append16(out, static_cast<quint16>(static_cast<qint16>(std::lrint(value * 32768.0f))));
                }
            }
        }
        return out;
    }

    bool write(const QString& path) const
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes()) >= 0 && file.flush();
    }

private:
    qint64 rampValue(qint64 frame, int channel) const { return (frame + 7919 * channel) % 65536; }

    static void append16(QByteArray& out, quint16 value)
    {
        char bytes[2];
        qToLittleEndian(value, bytes);
        out.append(bytes, 2);
    }
    static void append32(QByteArray& out, quint32 value)
    {
        char bytes[4];
        qToLittleEndian(value, bytes);
        out.append(bytes, 4);
    }
};

} // namespace vessa::test
