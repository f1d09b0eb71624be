#pragma once

// Four-channel "M.K." tracker modules (31 samples, 64-row patterns) built from
// bytes, for tests and benchmarks. Header-only.
//
// At the format's default speed (6 ticks a row, 125 BPM) a row lasts 6 ticks of
// 882 frames at 44.1 kHz, so every order position plays for patternFrames().

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <algorithm>
#include <map>
#include <tuple>

namespace vessa::test {

class ModFixture {
public:
    static constexpr int channelCount = 4;
    static constexpr int rowCount = 64;
    static constexpr int sampleSlots = 31;
    // The Amiga period of C in the middle octave.
    static constexpr int middleC = 428;

    static constexpr qint64 framesPerTick = 882;
    static constexpr qint64 ticksPerRow = 6;
    static constexpr qint64 rowFrames() { return ticksPerRow * framesPerTick; }
    static constexpr qint64 patternFrames() { return rowCount * rowFrames(); }

    // Effect numbers of the format.
    enum Effect { positionJump = 0xB, setVolume = 0xC, patternBreak = 0xD, setSpeed = 0xF };

    struct Note {
        int period = 0;  // 0: no note
        int sample = 0;  // 1-based; 0: none
        int effect = 0;
        int parameter = 0;
    };

    struct Sample {
        QByteArray name;
        QByteArray data;      // signed 8-bit; an even length
        int volume = 64;
        int loopStart = 0;    // in bytes, even
        int loopLength = 0;   // in bytes, even; 0: no loop
    };

    // The song name field: 20 bytes, padded with zeros.
    ModFixture& title(const QByteArray& text)
    {
        m_title = text;
        return *this;
    }

    // Sets sample `number` (1 to 31).
    ModFixture& sample(int number, Sample sample)
    {
        m_samples[number] = std::move(sample);
        return *this;
    }

    // The order list: pattern numbers, one per song position.
    ModFixture& orders(QList<int> patterns)
    {
        m_orders = std::move(patterns);
        return *this;
    }

    ModFixture& note(int pattern, int row, int channel, Note note)
    {
        m_notes[{pattern, row, channel}] = note;
        return *this;
    }

    QByteArray bytes() const
    {
        QByteArray out;
        out.append(field(m_title, 20));
        for (int number = 1; number <= sampleSlots; ++number) {
            const auto found = m_samples.find(number);
            const Sample empty;
            const Sample& s = found != m_samples.end() ? found->second : empty;
            out.append(field(s.name, 22));
            appendBe16(out, static_cast<int>(s.data.size() / 2));
            out.append('\0'); // finetune
            out.append(char(s.volume));
            appendBe16(out, s.loopLength > 0 ? s.loopStart / 2 : 0);
            appendBe16(out, s.loopLength > 0 ? s.loopLength / 2 : 1);
        }
        out.append(char(m_orders.size()));
        out.append(char(127));
        int patternCount = 0;
        for (int i = 0; i < 128; ++i) {
            const int pattern = i < m_orders.size() ? m_orders[i] : 0;
            patternCount = std::max(patternCount, pattern + 1);
            out.append(char(pattern));
        }
        out.append("M.K.");
        for (int pattern = 0; pattern < patternCount; ++pattern) {
            for (int row = 0; row < rowCount; ++row) {
                for (int channel = 0; channel < channelCount; ++channel) {
                    const auto found = m_notes.find({pattern, row, channel});
                    const Note n = found != m_notes.end() ? found->second : Note();
                    out.append(char((n.sample & 0xF0) | ((n.period >> 8) & 0x0F)));
                    out.append(char(n.period & 0xFF));
                    out.append(char(((n.sample & 0x0F) << 4) | (n.effect & 0x0F)));
                    out.append(char(n.parameter));
                }
            }
        }
        for (int number = 1; number <= sampleSlots; ++number) {
            const auto found = m_samples.find(number);
            if (found != m_samples.end())
                out.append(found->second.data);
        }
        return out;
    }

    // A looping square wave, loud enough to hear.
    static Sample squareWave(int length = 64)
    {
        Sample s;
        s.name = "square";
        for (int i = 0; i < length; ++i)
            s.data.append(char(i < length / 2 ? 100 : -100));
        s.loopStart = 0;
        s.loopLength = length;
        return s;
    }

    // A song of `positions` order positions, each playing its own pattern that
    // starts a note of the square wave on channel 0.
    static ModFixture song(int positions, const QByteArray& songTitle = "Fixture")
    {
        ModFixture fixture;
        fixture.title(songTitle).sample(1, squareWave());
        QList<int> order;
        for (int position = 0; position < positions; ++position) {
            order.append(position);
            fixture.note(position, 0, 0, Note{middleC, 1, 0, 0});
        }
        fixture.orders(order);
        return fixture;
    }

private:
    static QByteArray field(const QByteArray& text, qsizetype width)
    {
        QByteArray out = text.left(width);
        out.append(QByteArray(width - out.size(), '\0'));
        return out;
    }

    static void appendBe16(QByteArray& out, int value)
    {
        out.append(char((value >> 8) & 0xFF));
        out.append(char(value & 0xFF));
    }

    QByteArray m_title;
    std::map<int, Sample> m_samples;
    QList<int> m_orders;
    std::map<std::tuple<int, int, int>, Note> m_notes;
};

} // namespace vessa::test
