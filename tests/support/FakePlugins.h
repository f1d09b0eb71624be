#pragma once

// Scriptable stand-ins for the five plug-in kinds, for tests of everything
// that looks plug-ins up or drives them. Every fake is thread-safe, records
// the calls it gets, and fails on request with a FakePluginError carrying the
// text it was given. Hold them with std::make_shared and keep the typed
// pointer to script them while the code under test holds the interface.

#include "Rasko/DecoderPlugin.h"
#include "Rasko/DestinationPlugin.h"
#include "Rasko/MetadataExtractor.h"
#include "Rasko/MultiTrackScanner.h"
#include "Rasko/SourcePlugin.h"
#include "VessaCore/Error.h"
#include "VessaCore/PathExtension.h"

#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

namespace vessa::test {

// What a fake throws when told to fail; its description is the given text.
class FakePluginError : public Error {
public:
    explicit FakePluginError(QString message) : m_message(std::move(message)) {}
    QString description() const override { return m_message; }

private:
    QString m_message;
};

// A source that knows a fixed set of references. By default canHandle accepts
// exactly the references it was given.
class FakeSourcePlugin : public SourcePlugin {
public:
    explicit FakeSourcePlugin(QString name = QStringLiteral("FakeSource")) : m_name(std::move(name)) {}

    // canHandle accepts `ref`; resolve answers `result`.
    void addTrack(const TrackRef& ref, const SourceResult& result)
    {
        std::lock_guard lock(m_mutex);
        m_failures.remove(ref.uri());
        m_results.insert(ref.uri(), result);
    }
    // canHandle accepts `ref`; resolve throws FakePluginError(message).
    void addFailingTrack(const TrackRef& ref, const QString& message)
    {
        std::lock_guard lock(m_mutex);
        m_results.remove(ref.uri());
        m_failures.insert(ref.uri(), message);
    }
    // canHandle accepts every reference; an unknown one fails to resolve with
    // "Track not found: " + its uri.
    void setHandlesEverything(bool handlesEverything)
    {
        std::lock_guard lock(m_mutex);
        m_handlesEverything = handlesEverything;
    }
    // References given to resolve, in call order.
    QList<TrackRef> resolvedRefs() const
    {
        std::lock_guard lock(m_mutex);
        return m_resolved;
    }
    int canHandleCount() const { return m_canHandleCount.load(); }

    QString name() const override { return m_name; }
    bool canHandle(const TrackRef& ref) const override
    {
        ++m_canHandleCount;
        std::lock_guard lock(m_mutex);
        return m_handlesEverything || m_results.contains(ref.uri()) || m_failures.contains(ref.uri());
    }
    SourceResult resolve(const TrackRef& ref) override
    {
        std::lock_guard lock(m_mutex);
        m_resolved.append(ref);
        if (const auto found = m_results.constFind(ref.uri()); found != m_results.cend())
            return *found;
        throw FakePluginError(m_failures.value(ref.uri(), QStringLiteral("Track not found: ") + ref.uri()));
    }

private:
    const QString m_name;
    mutable std::mutex m_mutex;
    QHash<QString, SourceResult> m_results;
    QHash<QString, QString> m_failures;
    bool m_handlesEverything = false;
    QList<TrackRef> m_resolved;
    mutable std::atomic<int> m_canHandleCount{0};
};

// The shape of the streams a FakeDecoderPlugin opens. Every sample of frame
// f holds f / sampleRate, the frame's time in seconds, so a test can tell
// where a stream (or a seek) started.
struct FakeStreamScript {
    AudioFormat format = AudioFormat::cdQuality();
    qint64 framesPerBuffer = 4410;
    // Length of the track in buffers; an endless stream starts over after it.
    qint64 bufferCount = 10;
    bool reportsDuration = true;
    bool seekable = true;

    qint64 totalFrames() const { return framesPerBuffer * bufferCount; }
    double duration() const { return double(totalFrames()) / format.sampleRate; }
};

// Hands out the buffers of a FakeStreamScript from a start frame.
class FakePcmBufferStream final : public PcmBufferStream {
public:
    FakePcmBufferStream(FakeStreamScript script, qint64 startFrame, bool endless,
                        std::shared_ptr<std::atomic<int>> liveCount)
        : m_script(script), m_frame(startFrame), m_endless(endless), m_liveCount(std::move(liveCount))
    {
        ++*m_liveCount;
    }
    ~FakePcmBufferStream() override { --*m_liveCount; }

    std::optional<PCMBuffer> next(std::stop_token stop) override
    {
        const qint64 total = m_script.totalFrames();
        if (m_endless && m_frame >= total && total > 0)
            m_frame = 0;
        if (m_finished || stop.stop_requested() || m_frame >= total) {
            m_finished = true;
            return std::nullopt;
        }
        const qint64 frames = std::min(m_script.framesPerBuffer, total - m_frame);
        std::vector<float> samples(static_cast<std::size_t>(frames));
        for (qint64 i = 0; i < frames; ++i)
            samples[std::size_t(i)] = float(double(m_frame + i) / m_script.format.sampleRate);
        m_frame += frames;
        return PCMBuffer(m_script.format,
                         std::vector<std::vector<float>>(std::size_t(m_script.format.channelCount), samples));
    }

private:
    const FakeStreamScript m_script;
    qint64 m_frame;
    const bool m_endless;
    bool m_finished = false;
    std::shared_ptr<std::atomic<int>> m_liveCount;
};

// A decoder for the given extensions whose streams follow a FakeStreamScript
// (one for all locations, or one per file path). With hints honoured (the
// default) it loops endlessly when asked to; otherwise its hints form is the
// contract's default, which ignores them.
class FakeDecoderPlugin : public DecoderPlugin {
public:
    struct OpenCall {
        SourceLocator locator;
        std::optional<qint64> subTrackIndex;
        std::optional<DecoderHints> hints; // nothing for the plain form
    };

    FakeDecoderPlugin(QString name, QSet<QString> extensions)
        : m_name(std::move(name)), m_extensions(std::move(extensions))
    {
    }

    void setScript(const FakeStreamScript& script)
    {
        std::lock_guard lock(m_mutex);
        m_script = script;
    }
    void setScript(const QString& path, const FakeStreamScript& script)
    {
        std::lock_guard lock(m_mutex);
        m_pathScripts.insert(path, script);
    }
    void setHonoursHints(bool honours) { m_honoursHints = honours; }
    // While set, every open throws FakePluginError(message), checked after
    // a blocked open is released.
    void failOpens(const std::optional<QString>& message)
    {
        std::lock_guard lock(m_mutex);
        m_openFailure = message;
    }
    // While set, every seek of this decoder's streams throws.
    void failSeeks(const std::optional<QString>& message)
    {
        std::lock_guard lock(m_seeks->mutex);
        m_seeks->failure = message;
    }
    // Opens block until released; one still blocked after 20 s fails.
    void blockOpens()
    {
        std::lock_guard lock(m_mutex);
        m_blocking = true;
    }
    void releaseOpens()
    {
        {
            std::lock_guard lock(m_mutex);
            m_blocking = false;
        }
        m_changed.notify_all();
    }
    // Waits (bounded) until `count` opens are blocked.
    bool waitForBlockedOpens(int count, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_blockedOpens >= count; });
    }

    QList<OpenCall> openCalls() const
    {
        std::lock_guard lock(m_mutex);
        return m_openCalls;
    }
    // Positions given to the seek handlers of this decoder's streams.
    QList<double> seekPositions() const
    {
        std::lock_guard lock(m_seeks->mutex);
        return m_seeks->positions;
    }
    // Streams handed out and not yet destroyed (seek streams included).
    int liveStreamCount() const { return m_liveStreams->load(); }

    QString name() const override { return m_name; }
    QSet<QString> supportedExtensions() const override { return m_extensions; }

    AudioStream open(const SourceLocator& locator, std::optional<qint64> subTrackIndex) override
    {
        return openStream({locator, subTrackIndex, std::nullopt}, false);
    }
    AudioStream open(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                     const DecoderHints& hints) override
    {
        if (!m_honoursHints)
            return DecoderPlugin::open(locator, subTrackIndex, hints);
        return openStream({locator, subTrackIndex, hints}, hints.infiniteLoop);
    }

private:
    AudioStream openStream(OpenCall call, bool endless)
    {
        std::unique_lock lock(m_mutex);
        m_openCalls.append(call);
        if (m_blocking) {
            ++m_blockedOpens;
            m_changed.notify_all();
            const bool released = m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return !m_blocking; });
            --m_blockedOpens;
            if (!released)
                throw FakePluginError(QStringLiteral("open was never released"));
        }
        if (m_openFailure)
            throw FakePluginError(*m_openFailure);
        const FakeStreamScript script = m_pathScripts.value(call.locator.path(), m_script);
        SeekHandler seek;
        if (script.seekable) {
            // Captures shared state only, so a stream may outlive its decoder.
            seek = [seeks = m_seeks, live = m_liveStreams, script, endless](double seconds) -> PcmBufferStreamPtr {
                {
                    std::lock_guard seekLock(seeks->mutex);
                    seeks->positions.append(seconds);
                    if (seeks->failure)
                        throw FakePluginError(*seeks->failure);
                }
                const auto frame = qint64(std::llround(std::max(0.0, seconds) * script.format.sampleRate));
                return std::make_unique<FakePcmBufferStream>(script, std::min(frame, script.totalFrames()), endless,
                                                             live);
            };
        }
        std::optional<double> duration;
        if (script.reportsDuration && !endless)
            duration = script.duration();
        return AudioStream(script.format, duration,
                           std::make_unique<FakePcmBufferStream>(script, 0, endless, m_liveStreams), std::move(seek));
    }

    struct SeekLog {
        std::mutex mutex;
        std::optional<QString> failure;
        QList<double> positions;
    };

    const QString m_name;
    const QSet<QString> m_extensions;
    std::atomic<bool> m_honoursHints{true};
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    FakeStreamScript m_script;
    QHash<QString, FakeStreamScript> m_pathScripts;
    std::optional<QString> m_openFailure;
    bool m_blocking = false;
    int m_blockedOpens = 0;
    QList<OpenCall> m_openCalls;
    std::shared_ptr<std::atomic<int>> m_liveStreams = std::make_shared<std::atomic<int>>(0);
    const std::shared_ptr<SeekLog> m_seeks = std::make_shared<SeekLog>();
};

// Answers the same tags for every location, or per file path.
class FakeMetadataExtractor : public MetadataExtractor {
public:
    struct ExtractCall {
        SourceLocator locator;
        std::optional<qint64> subTrackIndex;
    };

    void setMetadata(const TrackMetadata& metadata)
    {
        std::lock_guard lock(m_extractMutex);
        m_metadata = metadata;
    }
    void setMetadata(const QString& path, const TrackMetadata& metadata)
    {
        std::lock_guard lock(m_extractMutex);
        m_pathMetadata.insert(path, metadata);
    }
    // While set, every extraction throws FakePluginError(message).
    void failExtractions(const std::optional<QString>& message)
    {
        std::lock_guard lock(m_extractMutex);
        m_extractFailure = message;
    }
    QList<ExtractCall> extractCalls() const
    {
        std::lock_guard lock(m_extractMutex);
        return m_extractCalls;
    }

    TrackMetadata extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex) override
    {
        std::lock_guard lock(m_extractMutex);
        m_extractCalls.append({locator, subTrackIndex});
        if (m_extractFailure)
            throw FakePluginError(*m_extractFailure);
        return m_pathMetadata.value(locator.path(), m_metadata);
    }

private:
    mutable std::mutex m_extractMutex;
    TrackMetadata m_metadata;
    QHash<QString, TrackMetadata> m_pathMetadata;
    std::optional<QString> m_extractFailure;
    QList<ExtractCall> m_extractCalls;
};

// Lists the same sub-tracks for any file of its extensions.
class FakeMultiTrackScanner : public MultiTrackScanner {
public:
    explicit FakeMultiTrackScanner(QSet<QString> scanExtensions) : m_scanExtensions(std::move(scanExtensions)) {}

    void setSubTracks(const QList<ScannedSubTrack>& subTracks)
    {
        std::lock_guard lock(m_scanMutex);
        m_subTracks = subTracks;
    }
    // While set, every scan throws FakePluginError(message).
    void failScans(const std::optional<QString>& message)
    {
        std::lock_guard lock(m_scanMutex);
        m_scanFailure = message;
    }
    // The extensions given to scanTracks, in call order.
    QStringList scannedExtensions() const
    {
        std::lock_guard lock(m_scanMutex);
        return m_scanned;
    }

    bool canScan(const QString& fileExtension) const override
    {
        return m_scanExtensions.contains(fileExtension.toLower());
    }
    QList<ScannedSubTrack> scanTracks(const QByteArray&, const QString& fileExtension) override
    {
        std::lock_guard lock(m_scanMutex);
        m_scanned.append(fileExtension);
        if (m_scanFailure)
            throw FakePluginError(*m_scanFailure);
        return m_subTracks;
    }

private:
    const QSet<QString> m_scanExtensions;
    mutable std::mutex m_scanMutex;
    QList<ScannedSubTrack> m_subTracks;
    std::optional<QString> m_scanFailure;
    QStringList m_scanned;
};

// A decoder that also reads tags, as every shipped decoder does.
class FakeExtractingDecoderPlugin : public FakeDecoderPlugin, public FakeMetadataExtractor {
public:
    using FakeDecoderPlugin::FakeDecoderPlugin;
};

// A decoder that also reads tags and lists sub-tracks (for its own extensions).
class FakeMultiTrackDecoderPlugin : public FakeDecoderPlugin,
                                    public FakeMetadataExtractor,
                                    public FakeMultiTrackScanner {
public:
    FakeMultiTrackDecoderPlugin(QString name, QSet<QString> extensions)
        : FakeDecoderPlugin(std::move(name), extensions), FakeMultiTrackScanner(extensions)
    {
    }
};

// Whole files in memory. Files written by the code under test get the time
// of writing; files put in place by the test get the time it gives.
class FakeDestinationPlugin : public DestinationPlugin {
public:
    enum class Operation { list, read, write, remove };

    explicit FakeDestinationPlugin(QString name = QStringLiteral("Fake Destination")) : m_name(std::move(name)) {}

    void putFile(const QString& fileID, const QByteArray& data,
                 const QDateTime& lastModified = QDateTime::currentDateTimeUtc())
    {
        std::lock_guard lock(m_mutex);
        m_files.insert(fileID, {data, lastModified});
    }
    std::optional<QByteArray> file(const QString& fileID) const
    {
        std::lock_guard lock(m_mutex);
        if (const auto found = m_files.constFind(fileID); found != m_files.cend())
            return found->data;
        return std::nullopt;
    }
    QStringList fileIDs() const
    {
        std::lock_guard lock(m_mutex);
        return m_files.keys();
    }
    // While set, the operation throws FakePluginError(message).
    void failOperation(Operation operation, const std::optional<QString>& message)
    {
        std::lock_guard lock(m_mutex);
        m_failures[int(operation)] = message;
    }

    QString name() const override { return m_name; }
    QList<DestinationFileInfo> list(const QString& fileExtension) override
    {
        std::lock_guard lock(m_mutex);
        throwIfFailingLocked(Operation::list);
        QList<DestinationFileInfo> result;
        for (auto it = m_files.cbegin(); it != m_files.cend(); ++it) {
            if (pathExtension(it.key()).toLower() == fileExtension.toLower())
                result.append(DestinationFileInfo(it.key(), it->lastModified, qint64(it->data.size())));
        }
        return result;
    }
    QByteArray read(const QString& fileID) override
    {
        std::lock_guard lock(m_mutex);
        throwIfFailingLocked(Operation::read);
        if (const auto found = m_files.constFind(fileID); found != m_files.cend())
            return found->data;
        throw FakePluginError(QStringLiteral("No such file: ") + fileID);
    }
    void write(const QString& fileID, const QByteArray& data) override
    {
        std::lock_guard lock(m_mutex);
        throwIfFailingLocked(Operation::write);
        m_files.insert(fileID, {data, QDateTime::currentDateTimeUtc()});
    }
    void remove(const QString& fileID) override
    {
        std::lock_guard lock(m_mutex);
        throwIfFailingLocked(Operation::remove);
        if (!m_files.remove(fileID))
            throw FakePluginError(QStringLiteral("No such file: ") + fileID);
    }

private:
    struct StoredFile {
        QByteArray data;
        QDateTime lastModified;
    };

    void throwIfFailingLocked(Operation operation) const
    {
        if (const std::optional<QString>& message = m_failures[int(operation)])
            throw FakePluginError(*message);
    }

    const QString m_name;
    mutable std::mutex m_mutex;
    QMap<QString, StoredFile> m_files;
    std::optional<QString> m_failures[4];
};

// Every buffer of a stream, up to `limit` of them.
inline std::vector<PCMBuffer> drainStream(PcmBufferStream& stream, std::size_t limit = 100000)
{
    std::vector<PCMBuffer> buffers;
    while (buffers.size() < limit) {
        std::optional<PCMBuffer> buffer = stream.next(std::stop_token());
        if (!buffer)
            break;
        buffers.push_back(std::move(*buffer));
    }
    return buffers;
}

} // namespace vessa::test
