// Writes the fuzz targets' seed corpora, one folder per target below the
// folder given, from the tests' fixture builders and the `ffmpeg` tool.
// Nothing here is a recording: every file is generated.

#include "Parvik/PlaylistFile.h"
#include "Rasko/FileHint.h"
#include "RaskoCoreAudio/CoreAudioDecoderPlugin.h"
#include "RaskoGME/GMEDecoderPlugin.h"
#include "RaskoMikmod/MikmodDecoderPlugin.h"
#include "fuzz/DecoderFuzzing.h"
#include "fuzz/HelperFuzzing.h"
#include "tests/support/ChipFixtures.h"
#include "tests/support/FfmpegTool.h"
#include "tests/support/ModFixture.h"
#include "tests/support/WavFixture.h"
#include "tests/support/ZipFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <zlib.h>

#include <cstdio>
#include <stdexcept>

using namespace vessa;
using namespace vessa::test;

namespace {

class SeedFolder {
public:
    SeedFolder(const QString& root, const QString& target) : m_dir(root + u'/' + target)
    {
        m_dir.removeRecursively();
        if (!QDir().mkpath(m_dir.path()))
            throw std::runtime_error("cannot make " + m_dir.path().toStdString());
    }

    void add(const QString& name, const QByteArray& bytes) const
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            throw std::runtime_error("cannot write " + file.fileName().toStdString());
    }

private:
    QDir m_dir;
};

QByteArray bigEndian64(qint64 value)
{
    QByteArray bytes(8, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

void trackRefSeeds(const SeedFolder& seeds)
{
    seeds.add("uri", QByteArray(1, '\0') + "vez:track:Some%20Artist:An%20Album:A%3ATitle:215#3");
    seeds.add("bare", QByteArray(1, '\0') + "vez:track:::");
    seeds.add("fields", QByteArray(1, '\3') + bigEndian64(215) + bigEndian64(2) + "Artist\nAlbum: Live\n#1 Title");
    seeds.add("escapes", QByteArray(1, '\1') + bigEndian64(-1) + "vez:track:%E2%82%AC:%zz:%:x:y#-4");
}

void fileHintSeeds(const SeedFolder& seeds)
{
    seeds.add("absolute", FileHint::encode("/music/A; B/01 #1?.flac").toUtf8() + "\n/lists/mix.parvik");
    seeds.add("relative", FileHint::encode("Albums/C\u00e9line/02.mp3").toUtf8() + "\n/home/u/lists/x.parvik");
    seeds.add("bare", "../music/03 Track.m4a\nlists/relative.parvik");
    seeds.add("escapes", "file://bad%zz%C3%28%00/x\n/lists/");
    seeds.add("path", "/music/plain path.mp3");
}

void playlistSeeds(const SeedFolder& seeds)
{
    Playlist playlist(QStringLiteral("Mix"), QList<PlaylistTrack>{
                                                 PlaylistTrack(TrackRef("Artist", "Album", "Title", 215, 2),
                                                               FileHint::encode("/music/a b.flac")),
                                                 PlaylistTrack(TrackRef("A", "B", "C")),
                                                 PlaylistTrack(TrackRef("vez:track:x:y:z"), QString()),
                                                 PlaylistTrack(TrackRef("D", "E", "F"), "relative/bare.mp3"),
                                             });
    seeds.add("current", PlaylistFile::serialize(playlist));
    seeds.add("version1", "#parvik:1 {}\nvez:track:A:B:C\nvez:track:D:E:F:12#0\n");
    seeds.add("crlf", "#parvik:2\t{\"k\":1}\r\nvez:track:A:B:C\tfile:///x.mp3\r\n");
}

void m3uSeeds(const SeedFolder& seeds)
{
    const QByteArray extended = "#EXTM3U\n#EXTINF:215,Some Artist - A Title\nmusic/01.mp3\n"
                                "#EXTINF:-1,Radio\nhttp://example.invalid/stream\n# comment\n"
                                "/abs/path/02.flac\r\nC:\\Music\\03.m4a\n";
    seeds.add("m3u8", QByteArray(1, '\1') + extended + "#EXTINF:12,Caf\u00e9 - \u00c9t\u00e9\nx.mp3\n");
    seeds.add("latin1", QByteArray(1, '\0') + extended + "#EXTINF:12,Caf\xe9 - \xc9t\xe9\nx.mp3\n");
    seeds.add("plain", QByteArray(1, '\0') + "01.mp3\n02.mp3\n");
}

void zipSeeds(const SeedFolder& seeds, const QString& scratch)
{
    const QByteArray audio = WavFixture{.frameCount = 64}.bytes();
    ZipFixture archive;
    archive.addFile("CD1/01.mp3", audio)
        .addFile("02.FLAC", audio, ZipFixture::Compression::stored)
        .addFile("cover.jpg", "not a picture")
        .addFolder("CD2")
        .addSymlink("link.mp3", "CD1/01.mp3")
        .addFile("CD2/C\u00e9line.nsf", nsfFile(1, "Name", "Artist", "Copyright"));
    seeds.add("members.zip", archive.bytes(scratch + "/members.zip"));
    // libzip writes no file for an archive without members: the end record alone.
    seeds.add("empty.zip", QByteArray("PK\x05\x06") + QByteArray(18, '\0'));
}

void coreAudioSeeds(const SeedFolder& seeds, const QString& scratch)
{
    const QSet<QString> extensions = CoreAudioDecoderPlugin(1).supportedExtensions();
    const auto prefix = [&](const char* extension) {
        return fuzz::DecoderFuzzOptions{.extension = QString::fromLatin1(extension)}.prefix(extensions);
    };
    const QByteArray wav = WavFixture{.channelCount = 2, .frameCount = 2048}.bytes();
    seeds.add("ramp.wav", prefix("wav") + wav);
    // Opened as a file, then sought.
    seeds.add("seek.wav", fuzz::DecoderFuzzOptions{.infiniteLoop = true, .seekSeconds = 1}.prefix(extensions) + wav);
    // A quarter second of a tagged tone in every container FFmpeg writes for us.
    const QList<std::pair<const char*, QStringList>> encodings = {
        {"flac", {}},
        {"mp3", {"-c:a", "libmp3lame", "-b:a", "32k"}},
        {"m4a", {"-c:a", "aac", "-b:a", "32k"}},
        {"alac", {"-c:a", "alac", "-f", "ipod"}},
        {"aac", {"-c:a", "aac", "-b:a", "32k", "-f", "adts"}},
        {"aiff", {}},
        {"caf", {}},
    };
    for (const auto& [extension, options] : encodings) {
        const QString out = scratch + "/tone." + extension;
        const QString failure =
            runFfmpeg(QStringList{"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050:duration=0.25", "-ac", "2",
                                  "-metadata", "title=Tone", "-metadata", "artist=Vessa"}
                      + options + QStringList{out});
        if (!failure.isEmpty())
            throw std::runtime_error(failure.toStdString());
        QFile file(out);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read " + out.toStdString());
        seeds.add(QStringLiteral("tone.") + extension, prefix(extension) + file.readAll());
    }
}

// The bytes gzip-compressed, as in a ".vgz" file.
QByteArray gzip(const QByteArray& bytes)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("zlib cannot start");
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, uLong(bytes.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    stream.avail_in = uInt(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.truncate(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        throw std::runtime_error("zlib cannot compress");
    return out;
}

void gmeSeeds(const SeedFolder& seeds)
{
    const QSet<QString> extensions = GMEDecoderPlugin().supportedExtensions();
    const auto prefix = [&](const char* extension, int subTrack = 0, int seekSeconds = 0) {
        const std::optional<QString> chosen = extension ? std::optional(QString::fromLatin1(extension)) : std::nullopt;
        return fuzz::DecoderFuzzOptions{.extension = chosen, .subTrackIndex = subTrack, .seekSeconds = seekSeconds}
            .prefix(extensions);
    };
    const QByteArray vgm = toneVgm({{0, 0.3}, {15, 0.1}, {4, 0.2}});
    seeds.add("tone.vgm", prefix("vgm") + vgm);
    seeds.add("looping.vgm", prefix(nullptr, 0, 2) + toneVgm({{2, 0.5}}, true, "Loop"));
    seeds.add("tone.vgz", prefix("vgz") + gzip(vgm));
    seeds.add("three.gbs", prefix("gbs", 1) + gbsFile(3, "Title", "Author", "Copyright"));
    seeds.add("untyped.gbs", prefix(nullptr, 2) + gbsFile(3, "", "", ""));
    seeds.add("two.nsf", prefix("nsf", 1, 3) + nsfFile(2, "Name", "Artist", "Copyright"));
    seeds.add("short.spc", prefix("spc") + spcFile(2));
}

void mikmodSeeds(const SeedFolder& seeds)
{
    const QSet<QString> extensions = MikmodDecoderPlugin().supportedExtensions();
    const QByteArray prefix = fuzz::DecoderFuzzOptions{.extension = QStringLiteral("mod")}.prefix(extensions);
    seeds.add("song.mod", prefix + ModFixture::song(3, "Song").bytes());
    // Tempo and speed commands (effect F), a pattern break and a jump back.
    ModFixture jumps = ModFixture::song(3, "Jumps");
    jumps.note(0, 1, 1, {0, 0, 0xF, 3})
        .note(1, 2, 1, {0, 0, 0xF, 150})
        .note(1, 8, 2, {ModFixture::middleC, 1, ModFixture::patternBreak, 0x10})
        .note(2, 4, 3, {0, 0, ModFixture::positionJump, 1});
    seeds.add("jumps.mod", prefix + jumps.bytes());
    // Sought to order position 2.
    seeds.add("seek.mod", fuzz::DecoderFuzzOptions{.seekSeconds = 4}.prefix(extensions) + jumps.bytes());
}

// Each operation of the decoder helper on a chip-music or tracker file, and a
// stream's request as a payload to mutate as it stands.
void helperSeeds(const SeedFolder& seeds)
{
    using Type = HelperMessageType;
    const QSet<QString> extensions = GMEDecoderPlugin().supportedExtensions();
    const auto seed = [&](fuzz::HelperFuzzOptions helper, fuzz::DecoderFuzzOptions file, const QByteArray& bytes) {
        return helper.byte() + file.prefix(extensions) + bytes;
    };
    const QByteArray vgm = toneVgm({{0, 0.3}, {15, 0.1}, {4, 0.2}});
    const QByteArray nsf = nsfFile(2, "Name", "Artist", "Copyright");
    const QByteArray mod = ModFixture::song(3, "Song").bytes();
    const fuzz::DecoderFuzzOptions nsfSecond{.extension = QStringLiteral("nsf"), .subTrackIndex = 1};
    seeds.add("scan.gbs", seed({.operation = Type::gmeScan}, {.extension = QStringLiteral("gbs")},
                               gbsFile(3, "Title", "Author", "Copyright")));
    seeds.add("extract.nsf", seed({.operation = Type::gmeExtract}, nsfSecond, nsf));
    seeds.add("stream.vgm", seed({.operation = Type::gmeOpen, .renderRequests = 3, .closes = true}, {}, vgm));
    seeds.add("sought.nsf",
              seed({.operation = Type::gmeOpen, .renderRequests = 2, .batchesPerRequest = 2},
                   {.extension = QStringLiteral("nsf"), .subTrackIndex = 1, .infiniteLoop = true, .seekSeconds = 3},
                   nsf));
    seeds.add("extract.mod", seed({.operation = Type::mikmodExtract}, {}, mod));
    seeds.add("stream.mod",
              seed({.operation = Type::mikmodOpen, .renderRequests = 2, .closes = true}, {.seekSeconds = 1}, mod));
    const fuzz::HelperFuzzOptions raw{.operation = Type::gmeOpen, .rawPayload = true, .renderRequests = 1};
    seeds.add("raw.nsf", raw.byte() + fuzz::requestPayload(Type::gmeOpen, nsfSecond, nsf));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SEED_FOLDER\n", argv[0]);
        return 2;
    }
    try {
        const QString root = QString::fromLocal8Bit(argv[1]);
        const QTemporaryDir scratch;
        trackRefSeeds(SeedFolder(root, "fuzz_track_ref"));
        fileHintSeeds(SeedFolder(root, "fuzz_file_hint"));
        playlistSeeds(SeedFolder(root, "fuzz_playlist_file"));
        m3uSeeds(SeedFolder(root, "fuzz_m3u_playlist_file"));
        zipSeeds(SeedFolder(root, "fuzz_zip_archive"), scratch.path());
        coreAudioSeeds(SeedFolder(root, "fuzz_core_audio_decoder"), scratch.path());
        gmeSeeds(SeedFolder(root, "fuzz_gme_decoder"));
        mikmodSeeds(SeedFolder(root, "fuzz_mikmod_decoder"));
        helperSeeds(SeedFolder(root, "fuzz_decoder_helper"));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_fuzz_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
