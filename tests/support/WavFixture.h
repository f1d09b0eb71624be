#pragma once

#include <QByteArray>
#include <QDataStream>
#include <QFile>
#include <QString>

#include <cmath>
#include <numbers>

namespace vessa::test {

// A 16-bit PCM WAV file built by hand, holding a ramp or a sine. sample() is
// the exact float a decoder gives back for each frame and channel. Ramp:
// channel c at frame n holds ((n + 7919 c) mod 65536 - 32768) / 32768.
struct WavFixture {
    enum class Content { ramp, sine };

    int sampleRate = 44100;
    int channelCount = 2;
    qint64 frameCount = 0;
    Content content = Content::ramp;
    double frequency = 440.0; // sine only; amplitude 0.5, each channel a sixth of a turn later

    float sample(qint64 frame, int channel) const
    {
        if (content == Content::ramp)
            return static_cast<float>((frame + 7919 * channel) % 65536 - 32768) / 32768.0f;
        const double value = 0.5
                             * std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(frame) / sampleRate
                                        + channel * std::numbers::pi / 3.0);
        return static_cast<float>(std::lrint(value * 32767.0)) / 32768.0f;
    }

    QByteArray bytes() const
    {
        const auto dataSize = static_cast<quint32>(frameCount * channelCount * 2);
        QByteArray out;
        QDataStream stream(&out, QIODevice::WriteOnly);
        stream.setByteOrder(QDataStream::LittleEndian);
        stream.writeRawData("RIFF", 4);
        stream << quint32(36 + dataSize);
        stream.writeRawData("WAVEfmt ", 8);
        stream << quint32(16) << quint16(1) << quint16(channelCount) << quint32(sampleRate)
               << quint32(sampleRate * channelCount * 2) << quint16(channelCount * 2) << quint16(16);
        stream.writeRawData("data", 4);
        stream << dataSize;
        for (qint64 frame = 0; frame < frameCount; ++frame) {
            for (int channel = 0; channel < channelCount; ++channel)
                stream << static_cast<qint16>(std::lrint(sample(frame, channel) * 32768.0f));
        }
        return out;
    }

    bool write(const QString& path) const
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes()) >= 0 && file.flush();
    }
};

} // namespace vessa::test
