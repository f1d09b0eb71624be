// Library scanning speed of the local-file source with the real decoders'
// tag readers and sub-track scanner, in files per second.
//
//   bench_localfilescan [N]             makes a library of about N files (default
//                                       5000) in a temporary folder: tagged WAV
//                                       files in Artist/Album folders, ZIP archives
//                                       of WAV files, NSF and MOD files
//   bench_localfilescan --library DIR   scans an existing folder instead (for
//                                       example one made by make-library.sh)
//
// Prints the rate of a cold scan into an empty database, of a warm rescan
// with nothing changed, and of only listing the folders, for comparison.
#include "Rasko/PluginRegistry.h"
#include "RaskoCoreAudio/CoreAudioDecoderPlugin.h"
#include "RaskoGME/GMEDecoderPlugin.h"
#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/MusicFolderEnumerator.h"
#include "RaskoMikmod/MikmodDecoderPlugin.h"
#include "tests/support/ChipFixtures.h"
#include "tests/support/ModFixture.h"
#include "tests/support/WavFixture.h"
#include "tests/support/ZipFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>
#include <cstring>

using namespace vessa;

namespace {

// A short mono WAV with title, artist and album in a LIST/INFO chunk.
QByteArray taggedWav(int seed, const QByteArray& title, const QByteArray& artist, const QByteArray& album)
{
    test::WavFixture wav;
    wav.channelCount = 1;
    wav.sampleRate = 8000;
    wav.frameCount = 800 + seed % 400;
    QByteArray bytes = wav.bytes();
    QByteArray info = "INFO";
    const auto field = [&info](const char* id, QByteArray text) {
        text.append('\0');
        if (text.size() % 2)
            text.append('\0');
        char size[4];
        qToLittleEndian(quint32(text.size()), size);
        info += QByteArray(id, 4) + QByteArray(size, 4) + text;
    };
    field("INAM", title);
    field("IART", artist);
    field("IPRD", album);
    char size[4];
    qToLittleEndian(quint32(info.size()), size);
    bytes += "LIST" + QByteArray(size, 4) + info;
    qToLittleEndian(quint32(bytes.size() - 8), bytes.data() + 4);
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// About `count` playable files: per 100, 94 loose WAV files, 4 WAV members of
// ZIP archives (ten to an archive), one NSF with three songs and one MOD.
bool makeLibrary(const QString& root, int count)
{
    int made = 0;
    for (int i = 0; made < count; ++i) {
        const QByteArray artist = "Artist " + QByteArray::number(i / 100);
        const QByteArray album = "Album " + QByteArray::number(i / 10);
        const QString folder =
            QStringLiteral("%1/%2/%3").arg(root, QString::fromUtf8(artist), QString::fromUtf8(album));
        const QByteArray title = "Track " + QByteArray::number(i);
        bool written = true;
        if (i % 100 == 0) {
            written = writeFile(folder + QStringLiteral("/game%1.nsf").arg(i), test::nsfFile(3, title, artist, "2020"));
        } else if (i % 100 == 1) {
            written =
                writeFile(folder + QStringLiteral("/song%1.mod").arg(i), test::ModFixture::song(1, title).bytes());
        } else if (i % 250 == 2) {
            test::ZipFixture zip;
            for (int m = 0; m < 10; ++m)
                zip.addFile(QStringLiteral("Disc/%1.wav").arg(m),
                            taggedWav(i + m, title + '.' + QByteArray::number(m), artist, album));
            QDir().mkpath(folder);
            try {
                zip.write(folder + QStringLiteral("/archive%1.zip").arg(i));
            } catch (const std::exception&) {
                written = false;
            }
            made += 9;
        } else {
            written = writeFile(folder + QStringLiteral("/%1.wav").arg(i), taggedWav(i, title, artist, album));
        }
        if (!written)
            return false;
        writeFile(folder + QStringLiteral("/cover.txt"), "not audio");
        ++made;
    }
    return true;
}

double seconds(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("com.tornwick.*=false\n*.warning=false"));

    int count = 5000;
    QString library;
    QTemporaryDir work;
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args.at(1) == u"--library") {
        library = QDir(args.at(2)).absolutePath();
    } else {
        if (args.size() >= 2)
            count = std::max(1, args.at(1).toInt());
        library = work.filePath(QStringLiteral("music"));
        QElapsedTimer timer;
        timer.start();
        if (!makeLibrary(library, count)) {
            std::fprintf(stderr, "cannot write the library in %s\n", qPrintable(work.path()));
            return 1;
        }
        std::printf("made a library of about %d files in %.2f s\n", count, seconds(timer));
    }

    PluginRegistry registry({}, {std::make_shared<GMEDecoderPlugin>(VESSA_DECODER_HELPER),
                                 std::make_shared<MikmodDecoderPlugin>(VESSA_DECODER_HELPER),
                                 std::make_shared<CoreAudioDecoderPlugin>(8192)});
    const auto database = std::make_shared<MediaDatabase>(work.filePath(QStringLiteral("media.db")));
    LocalFileSourcePlugin source(database, registry.buildCompositeMetadataExtractor(), registry.multiTrackScanners(),
                                 registry.allSupportedExtensions());

    try {
        QElapsedTimer timer;
        timer.start();
        qint64 read = 0;
        const QList<ScannedTrack> cold =
            source.scanDirectories({library}, [&](const ScanProgress& p) { read = p.total; });
        const double coldSeconds = seconds(timer);
        std::printf("cold scan:   %6lld files read, %6lld tracks, %7.3f s, %9.0f files/s\n", qlonglong(read),
                    qlonglong(cold.size()), coldSeconds, double(read) / coldSeconds);
        if (!cold.isEmpty()) {
            const ScannedTrack& last = cold.constLast();
            std::printf("last track:  \"%s\" by \"%s\" on \"%s\"\n", qPrintable(last.title()),
                        qPrintable(last.artist()), qPrintable(last.album()));
        }

        timer.restart();
        const qsizetype listed =
            MusicFolderEnumerator::enumerateFiles({library}, registry.allSupportedExtensions()).size();
        const double listSeconds = seconds(timer);

        timer.restart();
        read = 0;
        const QList<ScannedTrack> warm =
            source.scanDirectories({library}, [&](const ScanProgress& p) { read = p.total; });
        const double warmSeconds = seconds(timer);
        std::printf("warm rescan: %6lld files found, %6lld read, %7.3f s, %9.0f files/s\n", qlonglong(listed),
                    qlonglong(read), warmSeconds, double(listed) / warmSeconds);
        std::printf("listing only:%6lld files found,              %7.3f s, %9.0f files/s\n", qlonglong(listed),
                    listSeconds, double(listed) / listSeconds);
        if (warm.size() != cold.size()) {
            std::fprintf(stderr, "the rescan changed the library: %lld tracks, then %lld\n", qlonglong(cold.size()),
                         qlonglong(warm.size()));
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "scan failed: %s\n", error.what());
        return 1;
    }
    return 0;
}
