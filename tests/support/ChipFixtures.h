#pragma once

// Minimal chip-music files built from bytes, for tests and benchmarks: a VGM
// writer (SN76489 PSG and YM2612 commands, waits, a loop point and a GD3 tag);
// GBS and NSF files whose init routine starts one steady square-wave tone and
// whose play routine just returns; an SPC snapshot that plays one looping
// sample for ever. Header-only.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <algorithm>

namespace vessa::test {

namespace chipdetail {

inline void putLe16(QByteArray& bytes, qsizetype offset, quint32 value)
{
    bytes[offset] = char(value & 0xFF);
    bytes[offset + 1] = char((value >> 8) & 0xFF);
}

inline void putLe32(QByteArray& bytes, qsizetype offset, quint32 value)
{
    putLe16(bytes, offset, value & 0xFFFF);
    putLe16(bytes, offset + 2, value >> 16);
}

inline void appendLe32(QByteArray& bytes, quint32 value)
{
    const qsizetype at = bytes.size();
    bytes.resize(at + 4);
    putLe32(bytes, at, value);
}

// A fixed-size, zero-padded text field (GBS and NSF headers).
inline void putField(QByteArray& bytes, qsizetype offset, const QByteArray& text, qsizetype width)
{
    const qsizetype n = std::min(text.size(), width - 1);
    for (qsizetype i = 0; i < n; ++i)
        bytes[offset + i] = text[i];
}

// A GD3 text: UTF-16LE, zero-terminated.
inline void appendGd3Text(QByteArray& bytes, const QString& text)
{
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    bytes.append('\0');
    bytes.append('\0');
}

} // namespace chipdetail

// VGM 1.50 files. Samples are counted at the format's fixed 44100 Hz.
class VgmBuilder {
public:
    static constexpr quint32 psgClockNtsc = 3579545;
    static constexpr quint32 ym2612ClockNtsc = 7670453;

    VgmBuilder& psgClock(quint32 hz)
    {
        m_psgClock = hz;
        return *this;
    }
    VgmBuilder& ym2612Clock(quint32 hz)
    {
        m_ym2612Clock = hz;
        return *this;
    }

    // One raw SN76489 write.
    VgmBuilder& psg(quint8 value)
    {
        m_data.append(char(0x50));
        m_data.append(char(value));
        return *this;
    }
    // Tone period (10 bits) of PSG channel 0-2.
    VgmBuilder& psgTone(int channel, int period)
    {
        psg(quint8(0x80 | (channel << 5) | (period & 0x0F)));
        return psg(quint8((period >> 4) & 0x3F));
    }
    // Attenuation of PSG channel 0-3: 0 loudest, 15 off.
    VgmBuilder& psgAttenuation(int channel, int attenuation)
    {
        return psg(quint8(0x90 | (channel << 5) | (attenuation & 0x0F)));
    }

    // One YM2612 register write on port 0 or 1.
    VgmBuilder& ym2612(int port, quint8 reg, quint8 value)
    {
        m_data.append(char(port == 0 ? 0x52 : 0x53));
        m_data.append(char(reg));
        m_data.append(char(value));
        return *this;
    }

    VgmBuilder& wait(quint32 samples)
    {
        m_totalSamples += samples;
        while (samples > 0) {
            const quint32 n = std::min<quint32>(samples, 0xFFFF);
            m_data.append(char(0x61));
            m_data.append(char(n & 0xFF));
            m_data.append(char(n >> 8));
            samples -= n;
        }
        return *this;
    }
    VgmBuilder& waitSeconds(double seconds) { return wait(quint32(seconds * 44100.0 + 0.5)); }

    // The music loops back to here when it reaches its end.
    VgmBuilder& loopHere()
    {
        m_loopOffset = m_data.size();
        m_samplesBeforeLoop = m_totalSamples;
        return *this;
    }

    VgmBuilder& gd3(const QString& title, const QString& game, const QString& system, const QString& author)
    {
        m_gd3 = true;
        m_title = title;
        m_game = game;
        m_system = system;
        m_author = author;
        return *this;
    }

    QByteArray build() const
    {
        using namespace chipdetail;
        constexpr qsizetype headerSize = 0x40;
        QByteArray file(headerSize, '\0');
        file.replace(0, 4, "Vgm ");
        putLe32(file, 0x08, 0x150);
        putLe32(file, 0x0C, m_psgClock);
        putLe32(file, 0x18, m_totalSamples);
        if (m_loopOffset >= 0) {
            putLe32(file, 0x1C, quint32(headerSize + m_loopOffset - 0x1C));
            putLe32(file, 0x20, m_totalSamples - m_samplesBeforeLoop);
        }
        putLe32(file, 0x24, 60);
        putLe16(file, 0x28, 0x0009);
        file[0x2A] = char(16);
        putLe32(file, 0x2C, m_ym2612Clock);
        putLe32(file, 0x34, quint32(headerSize - 0x34));
        file.append(m_data);
        file.append(char(0x66));
        if (m_gd3) {
            putLe32(file, 0x14, quint32(file.size() - 0x14));
            QByteArray texts;
            for (const QString& text : {m_title, QString(), m_game, QString(), m_system, QString(), m_author,
                                        QString(), QString(), QString(), QString()})
                appendGd3Text(texts, text);
            file.append("Gd3 ");
            appendLe32(file, 0x100);
            appendLe32(file, quint32(texts.size()));
            file.append(texts);
        }
        putLe32(file, 0x04, quint32(file.size() - 4));
        return file;
    }

private:
    QByteArray m_data;
    quint32 m_psgClock = psgClockNtsc;
    quint32 m_ym2612Clock = 0;
    quint32 m_totalSamples = 0;
    qsizetype m_loopOffset = -1;
    quint32 m_samplesBeforeLoop = 0;
    bool m_gd3 = false;
    QString m_title, m_game, m_system, m_author;
};

// A PSG tone for `seconds`, with a GD3 tag; looping makes the whole piece repeat.
inline QByteArray psgToneVgm(double seconds, bool looping, const QString& title = QStringLiteral("Tone"),
                             const QString& game = QStringLiteral("Fixtures"),
                             const QString& author = QStringLiteral("Vessa Tests"))
{
    VgmBuilder vgm;
    if (looping)
        vgm.loopHere();
    vgm.psgTone(0, 254).psgAttenuation(0, 0).waitSeconds(seconds);
    vgm.gd3(title, game, QStringLiteral("Sega Master System"), author);
    return vgm.build();
}

// A Game Boy sound file with `songCount` songs (the header has no song titles).
// The init routine switches the sound on and starts a tone on the first square
// channel; the play routine returns at once.
inline QByteArray gbsFile(int songCount, const QByteArray& title, const QByteArray& author,
                          const QByteArray& copyright)
{
    using namespace chipdetail;
    constexpr quint16 loadAddress = 0x0400;
    const QByteArray init = QByteArray::fromHex("3e80e026"   // ld a,$80 ; ldh (NR52),a  sound on
                                                "3e77e024"   // ld a,$77 ; ldh (NR50),a  full volume
                                                "3effe025"   // ld a,$ff ; ldh (NR51),a  all channels both sides
                                                "3e80e011"   // ld a,$80 ; ldh (NR11),a  50% duty
                                                "3ef0e012"   // ld a,$f0 ; ldh (NR12),a  volume 15, no envelope
                                                "3e00e013"   // ld a,$00 ; ldh (NR13),a  period low
                                                "3e87e014"   // ld a,$87 ; ldh (NR14),a  trigger, period high
                                                "c9");       // ret
    const quint16 playAddress = quint16(loadAddress + init.size());
    QByteArray file(0x70, '\0');
    file.replace(0, 3, "GBS");
    file[3] = char(1);
    file[4] = char(songCount);
    file[5] = char(1);
    putLe16(file, 0x06, loadAddress);
    putLe16(file, 0x08, loadAddress);
    putLe16(file, 0x0A, playAddress);
    putLe16(file, 0x0C, 0xFFFE);
    putField(file, 0x10, title, 32);
    putField(file, 0x30, author, 32);
    putField(file, 0x50, copyright, 32);
    file.append(init);
    file.append(char(0xC9)); // play: ret
    return file;
}

// An NES sound file with `songCount` songs (the header has no song titles).
// The init routine starts a tone on the first pulse channel; play returns.
inline QByteArray nsfFile(int songCount, const QByteArray& name, const QByteArray& artist,
                          const QByteArray& copyright)
{
    using namespace chipdetail;
    constexpr quint16 loadAddress = 0x8000;
    const QByteArray init = QByteArray::fromHex("a9018d1540"   // lda #$01 ; sta $4015  pulse 1 on
                                                "a9bf8d0040"   // lda #$bf ; sta $4000  50% duty, volume 15
                                                "a9088d0140"   // lda #$08 ; sta $4001  no sweep
                                                "a9fd8d0240"   // lda #$fd ; sta $4002  period low
                                                "a9008d0340"   // lda #$00 ; sta $4003  period high
                                                "60");         // rts
    const quint16 playAddress = quint16(loadAddress + init.size());
    QByteArray file(0x80, '\0');
    file.replace(0, 5, "NESM\x1A");
    file[5] = char(1);
    file[6] = char(songCount);
    file[7] = char(1);
    putLe16(file, 0x08, loadAddress);
    putLe16(file, 0x0A, loadAddress);
    putLe16(file, 0x0C, playAddress);
    putField(file, 0x0E, name, 32);
    putField(file, 0x2E, artist, 32);
    putField(file, 0x4E, copyright, 32);
    putLe16(file, 0x6E, 16639); // NTSC play period in microseconds
    putLe16(file, 0x78, 19997); // PAL play period
    file.append(init);
    file.append(char(0x60)); // play: rts
    return file;
}

// An SNES sound snapshot with an ID666 tag giving its play length in whole
// seconds (1-999). Voice 0 loops a short square-wave sample; the SPC700 keys
// it on and then spins.
inline QByteArray spcFile(int seconds, const QByteArray& song, const QByteArray& game, const QByteArray& artist)
{
    using namespace chipdetail;
    QByteArray file(0x10200, '\0');
    file.replace(0, 33, "SNES-SPC700 Sound File Data v0.30");
    file[0x21] = char(26);
    file[0x22] = char(26);
    file[0x23] = char(26); // has an ID666 tag
    file[0x24] = char(30);
    putLe16(file, 0x25, 0x0400); // PC
    file[0x2B] = char(0xEF);     // SP
    putField(file, 0x2E, song, 32);
    putField(file, 0x4E, game, 32);
    file.replace(0xA9, 3, QByteArray::number(seconds).rightJustified(3, '0'));
    file.replace(0xAC, 4, "1000"); // fade length in ms
    putField(file, 0xB1, artist, 32);

    constexpr qsizetype ram = 0x100;
    const QByteArray directory = QByteArray::fromHex("00030003"); // sample 0 starts and loops at $0300
    const QByteArray sample = QByteArray::fromHex("c37777777788888888"); // one BRR block: loop, end
    const QByteArray code = QByteArray::fromHex("8f4cf2"   // mov $f2,#$4c  DSP register KON
                                                "8f01f3"   // mov $f3,#$01  key on voice 0
                                                "2ffe");   // bra *
    file.replace(ram + 0x200, directory.size(), directory);
    file.replace(ram + 0x300, sample.size(), sample);
    file.replace(ram + 0x400, code.size(), code);

    constexpr qsizetype dsp = 0x10100;
    file[dsp + 0x0C] = char(0x7F); // main volume left
    file[dsp + 0x1C] = char(0x7F); // main volume right
    file[dsp + 0x00] = char(0x7F); // voice 0 volume left
    file[dsp + 0x01] = char(0x7F); // voice 0 volume right
    putLe16(file, dsp + 0x02, 0x1000); // voice 0 pitch
    file[dsp + 0x07] = char(0x7F); // voice 0 direct gain (ADSR off)
    file[dsp + 0x5D] = char(0x02); // sample directory page
    file[dsp + 0x6C] = char(0x20); // echo writes off, sound on
    return file;
}

} // namespace vessa::test
