#pragma once

// Minimal chip-music files built from bytes, for tests and benchmarks: VGM
// files of one SN76489 tone with a GD3 tag; GBS and NSF files whose init
// routine starts one steady square-wave tone (play just returns); an SPC
// snapshot that loops one sample for ever. Header-only.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtEndian>

#include <algorithm>
#include <utility>

namespace vessa::test {

// A VGM 1.50 file of tone segments, each {attenuation (0 loudest, 15 off),
// seconds in steps of 10 ms}; `looping` makes the whole piece repeat.
inline QByteArray toneVgm(const QList<std::pair<int, double>>& segments, bool looping = false,
                          const QString& title = "Tone", const QString& game = "Fixtures",
                          const QString& author = "Vessa Tests")
{
    // "Vgm ", version 1.50, NTSC SN76489 clock, data at 0x40; channel 0 period 254
    QByteArray file = QByteArray::fromHex("56676d20 00000000 50010000 999e3600").leftJustified(0x40, '\0');
    file[0x34] = 0x0C;
    file.append(QByteArray::fromHex("508e 500f"));
    quint32 samples = 0;
    for (const auto& [attenuation, seconds] : segments) {
        file.append(char(0x50)).append(char(0x90 | attenuation));
        for (int i = 0; i < qRound(seconds * 100); ++i, samples += 441)
            file.append("\x61\xb9\x01", 3); // wait 441 samples
    }
    file.append(char(0x66));
    QByteArray texts; // UTF-16LE, each zero-terminated: the English title, game and author
    for (const QString& text : {title, {}, game, {}, {}, {}, author, {}, {}, {}, {}})
        for (const QChar c : text + QChar(0))
            texts.append(char(c.unicode())).append(char(c.unicode() >> 8));
    const int gd3 = int(file.size());
    file.append("Gd3 \0\1\0\0", 8).append(4, '\0').append(texts);
    for (auto [at, value] : {std::pair{0x04, quint32(file.size() - 4)},
                             {0x14, quint32(gd3 - 0x14)},
                             {0x18, samples},
                             {0x1C, looping ? 0x24u : 0u},
                             {0x20, looping ? samples : 0u},
                             {gd3 + 8, quint32(texts.size())}})
        for (int i = 0; i < 4; ++i)
            file[at + i] = char(value >> (8 * i));
    return file;
}

// The looping tone fixture with a YM2612 FM voice (all four operators as
// carriers) holding a note under it: heavier emulation, as in real Genesis
// music, so the figures compare the plug-in with the library at a realistic
// load.
inline QByteArray fmToneVgm()
{
    QByteArray file = toneVgm({{0, 0.5}, {4, 0.25}, {8, 0.25}, {15, 0.5}, {2, 1.0}}, true);
    QByteArray fm;
    const auto write = [&fm](int reg, int value) { fm.append(char(0x52)).append(char(reg)).append(char(value)); };
    for (int op = 0; op < 16; op += 4) {
        for (auto [reg, value] :
             {std::pair{0x30, 0x01}, {0x40, 0x18}, {0x50, 0x1F}, {0x60, 0x05}, {0x70, 0x02}, {0x80, 0x27}})
            write(reg + op, value);
    }
    write(0xB0, 0x07); // algorithm 7
    write(0xB4, 0xC0); // both speakers
    write(0xA4, 0x22); // block 4, note
    write(0xA0, 0x8D);
    write(0x28, 0xF0); // key on
    // The FM writes go first in the data, inside the loop; the end-of-file and
    // tag offsets move along; the YM2612 gets its NTSC clock.
    file.insert(0x40, fm);
    for (int at : {0x04, 0x14})
        qToLittleEndian<quint32>(qFromLittleEndian<quint32>(file.constData() + at) + quint32(fm.size()),
                                 file.data() + at);
    qToLittleEndian<quint32>(7670453, file.data() + 0x2C);
    return file;
}

// A header (hex) padded to `size`, the song count at `countAt`, three 32-byte
// texts at `textsAt`, then the code (hex).
inline QByteArray soundFile(const char* header, int size, int countAt, int songCount, int textsAt,
                            const QList<QByteArray>& texts, const char* code)
{
    QByteArray file = QByteArray::fromHex(header).leftJustified(size, '\0');
    file[countAt] = char(songCount);
    for (int i = 0; i < texts.size(); ++i)
        file.replace(textsAt + 32 * i, std::min<qsizetype>(texts[i].size(), 31), texts[i]);
    return file + QByteArray::fromHex(code);
}

// A Game Boy sound file of `songCount` untitled songs. Init ($400) turns the
// sound on and starts square channel 1; play ($41D) returns.
inline QByteArray gbsFile(int songCount, const QByteArray& title, const QByteArray& author, const QByteArray& copyright)
{
    return soundFile("474253 01 00 01 0004 0004 1d04 feff", 0x70, 4, songCount, 0x10, {title, author, copyright},
                     "3e80e026 3e77e024 3effe025 3e80e011 3ef0e012 3e00e013 3e87e014 c9 c9");
}

// An NES sound file of `songCount` untitled songs. Init ($8000) starts pulse
// channel 1; play ($801A) returns.
inline QByteArray nsfFile(int songCount, const QByteArray& name, const QByteArray& artist, const QByteArray& copyright)
{
    return soundFile("4e45534d1a 01 00 01 0080 0080 1a80", 0x80, 6, songCount, 0x0E, {name, artist, copyright},
                     "a9018d1540 a9bf8d0040 a9088d0140 a9fd8d0240 a9008d0340 60 60");
}

// An SNES sound snapshot whose ID666 tag gives a play length of `seconds`
// (1-999) and a 1 s fade. Voice 0 loops a square-wave sample; the CPU spins.
inline QByteArray spcFile(int seconds)
{
    // ID666 tag present, minor version 30, PC $400, SP $EF
    QByteArray file =
        QByteArray("SNES-SPC700 Sound File Data v0.30\x1A\x1A\x1A\x1E\0\4", 39).leftJustified(0x10200, '\0');
    file[0x2B] = char(0xEF);
    file.replace(0xA9, 7, QByteArray::number(seconds).rightJustified(3, '0') + "1000");
    // RAM: sample directory at $200, one looping BRR block at $300; code at $400 keys on voice 0 and spins.
    file.replace(0x300, 4, QByteArray::fromHex("00030003"))
        .replace(0x400, 9, QByteArray::fromHex("c37777777788888888"));
    file.replace(0x500, 8, QByteArray::fromHex("8f4cf2 8f01f3 2ffe"));
    // DSP: voice 0 volumes, pitch $1000, direct gain; main volumes; directory page; echo off.
    for (auto [reg, value] : {std::pair{0x00, 0x7F},
                              {0x01, 0x7F},
                              {0x03, 0x10},
                              {0x07, 0x7F},
                              {0x0C, 0x7F},
                              {0x1C, 0x7F},
                              {0x5D, 0x02},
                              {0x6C, 0x20}})
        file[0x10100 + reg] = char(value);
    return file;
}

} // namespace vessa::test
