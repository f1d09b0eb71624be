#pragma once

// Tracker modules built from bytes, for tests and benchmarks: four-channel
// "M.K." modules (or 2, 6 or 8 channels, "2CHN" ...), 64-row patterns and one
// sample, a looping square wave. At the format's default speed a row lasts 6
// ticks of 882 frames at 44.1 kHz, so every order position plays for
// `patternFrames`. Header-only.

#include <QByteArray>
#include <QList>

#include <algorithm>

namespace vessa::test {

class ModFixture {
public:
    static constexpr int channelCount = 4; // of an "M.K." module, the default
    static constexpr int rowCount = 64;
    static constexpr int middleC = 428; // Amiga period
    static constexpr qint64 rowFrames = 6 * 882;
    static constexpr qint64 patternFrames = rowCount * rowFrames;
    enum Effect {
        positionJump = 0xB,
        patternBreak = 0xD,
        setSpeed = 0xF
    }; // setSpeed: ticks per row below 0x20, else BPM

    // A period of 0 plays no note; sample 1 is the square wave.
    struct Note {
        int period = 0, sample = 0, effect = 0, parameter = 0;
    };

    QByteArray title;            // the song name: 20 bytes at most
    QList<int> orders;           // the pattern of every order position
    int channels = channelCount; // 2, 4, 6 or 8; set before the first note

    ModFixture& note(int pattern, int row, int channel, Note n)
    {
        while (m_patterns.size() <= pattern)
            m_patterns.append(QByteArray(rowCount * channels * 4, '\0'));
        const char cell[] = {char((n.sample & 0xF0) | (n.period >> 8)), char(n.period),
                             char((n.sample & 0x0F) << 4 | n.effect), char(n.parameter)};
        m_patterns[pattern].replace((row * channels + channel) * 4, 4, cell, 4);
        return *this;
    }

    QByteArray bytes() const
    {
        // Sample 1: 32 words, volume 64, looping whole; the other 30 slots empty.
        QByteArray out =
            title.leftJustified(20, '\0', true) + QByteArray(22, '\0') + QByteArray::fromHex("0020 0040 0000 0020");
        for (int slot = 2; slot <= 31; ++slot)
            out += QByteArray(22, '\0') + QByteArray::fromHex("0000 0040 0000 0001");
        out.append(char(orders.size())).append(char(127));
        int patternCount = 1;
        for (int i = 0; i < 128; ++i) {
            out += char(orders.value(i));
            patternCount = std::max(patternCount, orders.value(i) + 1);
        }
        out += channels == channelCount ? QByteArray("M.K.") : QByteArray::number(channels) + "CHN";
        for (int pattern = 0; pattern < patternCount; ++pattern)
            out += m_patterns.value(pattern, QByteArray(rowCount * channels * 4, '\0'));
        return out + QByteArray(32, char(100)) + QByteArray(32, char(-100));
    }

    // A song of `positions` order positions, each playing its own pattern that
    // starts a note of the square wave on channel 0.
    static ModFixture song(int positions, const QByteArray& songTitle = "Fixture")
    {
        ModFixture fixture;
        fixture.title = songTitle;
        for (int position = 0; position < positions; ++position) {
            fixture.orders.append(position);
            fixture.note(position, 0, 0, Note{middleC, 1});
        }
        return fixture;
    }

private:
    QList<QByteArray> m_patterns;
};

} // namespace vessa::test
