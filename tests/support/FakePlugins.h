#pragma once

// Scriptable, thread-safe stand-ins for the plug-in kinds. Each records its calls and fails on request with a
// FakePluginError carrying the given text; keep the typed pointer to script it while the code under test runs it.

#include "Rasko/DecoderPlugin.h"
#include "Rasko/MetadataExtractor.h"
#include "Rasko/MultiTrackScanner.h"
#include "Rasko/SourcePlugin.h"
#include "VessaCore/Error.h"

#include <QHash>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <variant>

namespace vessa::test {

using Lock = std::lock_guard<std::mutex>;

class FakePluginError : public Error {
public:
    explicit FakePluginError(QString message) : m_message(std::move(message)) {}
    QString description() const override { return m_message; }

private:
    QString m_message;
};

// Accepts the references it was given (or every one: an unknown reference
// then fails to resolve with "Track not found: " + its uri).
class FakeSourcePlugin : public SourcePlugin {
public:
    explicit FakeSourcePlugin(QString name = QStringLiteral("FakeSource")) : m_name(std::move(name)) {}

    void addTrack(const TrackRef& ref, const SourceResult& result)
    {
        Lock lock(m_mutex);
        m_tracks[ref.uri()] = result;
    }
    void addFailingTrack(const TrackRef& ref, const QString& text)
    {
        Lock lock(m_mutex);
        m_tracks[ref.uri()] = text;
    }
    void setHandlesEverything(bool handlesEverything) { m_all = handlesEverything; }

    QString name() const override { return m_name; }
    bool canHandle(const TrackRef& ref) const override
    {
        Lock lock(m_mutex);
        return m_all || m_tracks.contains(ref.uri());
    }
    SourceResult resolve(const TrackRef& ref) override
    {
        Lock lock(m_mutex);
        const auto outcome = m_tracks.value(ref.uri(), QStringLiteral("Track not found: ") + ref.uri());
        if (const auto* result = std::get_if<SourceResult>(&outcome))
            return *result;
        throw FakePluginError(std::get<QString>(outcome));
    }

private:
    const QString m_name;
    mutable std::mutex m_mutex;
    QHash<QString, std::variant<QString, SourceResult>> m_tracks; // failure text or result
    std::atomic<bool> m_all{false};
};

// The shape of a FakeDecoderPlugin's streams; an endless one starts over after bufferCount buffers.
struct FakeStreamScript {
    AudioFormat format = AudioFormat::cdQuality();
    qint64 framesPerBuffer = 4410;
    qint64 bufferCount = 10;
    bool seekable = true;
    // After its buffers the stream throws, as a decoder that died mid-track.
    bool diesAtEnd = false;

    qint64 totalFrames() const { return framesPerBuffer * bufferCount; }
};

// What a FakeDecoderPlugin shares with its streams and seek handlers, which may outlive it.
struct FakeStreamLog {
    std::atomic<int> liveStreams{0};
    std::mutex mutex;
    QList<double> seekPositions;
};

// Every sample of frame f holds f / sampleRate, so a test can tell where a stream (or a seek) started.
class FakePcmBufferStream final : public PcmBufferStream {
public:
    FakePcmBufferStream(FakeStreamScript script, qint64 frame, bool endless, std::shared_ptr<FakeStreamLog> log)
        : m_script(script), m_frame(frame), m_endless(endless), m_log(std::move(log))
    {
        ++m_log->liveStreams;
    }
    ~FakePcmBufferStream() override { --m_log->liveStreams; }

    std::optional<PCMBuffer> next(std::stop_token stop) override
    {
        const qint64 total = m_script.totalFrames();
        if (m_endless && m_frame >= total && total > 0)
            m_frame = 0;
        m_finished = m_finished || stop.stop_requested() || m_frame >= total;
        if (m_finished && m_script.diesAtEnd && !stop.stop_requested())
            throw FakePluginError(QStringLiteral("The decoder stopped unexpectedly"));
        if (m_finished)
            return std::nullopt;
        std::vector<float> samples(std::size_t(std::min(m_script.framesPerBuffer, total - m_frame)));
        for (float& sample : samples)
            sample = float(double(m_frame++) / m_script.format.sampleRate);
        return PCMBuffer(m_script.format, std::vector(std::size_t(m_script.format.channelCount), samples));
    }

private:
    const FakeStreamScript m_script;
    qint64 m_frame;
    const bool m_endless;
    bool m_finished = false;
    const std::shared_ptr<FakeStreamLog> m_log;
};

// Streams follow a FakeStreamScript. Honouring hints (the default), it loops endlessly when asked to;
// otherwise its hints form is the contract's default, which ignores them.
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
        Lock lock(m_mutex);
        m_script = script;
    }
    void setHonoursHints(bool honours) { m_honoursHints = honours; }
    // While set, every open throws, checked after a blocked open is released.
    void failOpens(const std::optional<QString>& message)
    {
        Lock lock(m_mutex);
        m_openFailure = message;
    }
    // Opens block until released; one still blocked after 20 s fails.
    void blockOpens()
    {
        Lock lock(m_mutex);
        m_blocking = true;
    }
    void releaseOpens()
    {
        {
            Lock lock(m_mutex);
            m_blocking = false;
        }
        m_changed.notify_all();
    }
    bool waitForBlockedOpens(int count, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_blockedOpens >= count; });
    }
    QList<OpenCall> openCalls() const
    {
        Lock lock(m_mutex);
        return m_openCalls;
    }
    QList<double> seekPositions() const
    {
        Lock lock(m_log->mutex);
        return m_log->seekPositions;
    }
    // Streams handed out and not yet destroyed (seek streams included).
    int liveStreamCount() const { return m_log->liveStreams; }

    QString name() const override { return m_name; }
    QSet<QString> supportedExtensions() const override { return m_extensions; }
    AudioStream open(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                     const DecoderHints& hints) override
    {
        if (!m_honoursHints)
            return openStream({locator, subTrackIndex, std::nullopt}, false);
        return openStream({locator, subTrackIndex, hints}, hints.infiniteLoop);
    }

private:
    AudioStream openStream(OpenCall call, bool endless)
    {
        std::unique_lock lock(m_mutex);
        m_openCalls.append(call);
        bool released = true;
        if (m_blocking) {
            ++m_blockedOpens;
            m_changed.notify_all();
            released = m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return !m_blocking; });
            --m_blockedOpens;
        }
        if (!released || m_openFailure)
            throw FakePluginError(m_openFailure.value_or(QStringLiteral("open was never released")));
        const FakeStreamScript script = m_script;
        SeekHandler seek;
        if (script.seekable) {
            seek = [log = m_log, script, endless](double seconds, std::stop_token) -> PcmBufferStreamPtr {
                Lock lock(log->mutex);
                log->seekPositions.append(seconds);
                const auto frame = qint64(std::max(0.0, seconds) * script.format.sampleRate + 0.5);
                return std::make_unique<FakePcmBufferStream>(script, std::min(frame, script.totalFrames()), endless,
                                                             log);
            };
        }
        const double duration = double(script.totalFrames()) / script.format.sampleRate;
        return AudioStream(script.format, endless ? std::nullopt : std::optional(duration),
                           std::make_unique<FakePcmBufferStream>(script, 0, endless, m_log), std::move(seek));
    }

    const QString m_name;
    const QSet<QString> m_extensions;
    std::atomic<bool> m_honoursHints{true};
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    FakeStreamScript m_script;
    std::optional<QString> m_openFailure;
    bool m_blocking = false;
    int m_blockedOpens = 0;
    QList<OpenCall> m_openCalls;
    const std::shared_ptr<FakeStreamLog> m_log = std::make_shared<FakeStreamLog>();
};

// Answers the same tags for every location, or per file path.
class FakeMetadataExtractor : public MetadataExtractor {
public:
    struct ExtractCall {
        SourceLocator locator;
        std::optional<qint64> subTrackIndex;
        std::stop_token stop = {}; // none for the plain form
    };

    void setMetadata(const TrackMetadata& metadata)
    {
        Lock lock(m_tagMutex);
        m_metadata = metadata;
    }
    void setMetadata(const QString& path, const TrackMetadata& tags)
    {
        Lock lock(m_tagMutex);
        m_byPath[path] = tags;
    }
    void failExtractions(const std::optional<QString>& message)
    {
        Lock lock(m_tagMutex);
        m_tagFailure = message;
    }
    QList<ExtractCall> extractCalls() const
    {
        Lock lock(m_tagMutex);
        return m_extractCalls;
    }

    TrackMetadata extract(const SourceLocator& locator, std::optional<qint64> subTrackIndex) override
    {
        return extractWithStop(locator, subTrackIndex, {});
    }
    TrackMetadata extractWithStop(const SourceLocator& locator, std::optional<qint64> subTrackIndex,
                                  std::stop_token stop) override
    {
        Lock lock(m_tagMutex);
        m_extractCalls.append({locator, subTrackIndex, std::move(stop)});
        if (m_tagFailure)
            throw FakePluginError(*m_tagFailure);
        return m_byPath.value(locator.path(), m_metadata);
    }

private:
    mutable std::mutex m_tagMutex;
    TrackMetadata m_metadata;
    QHash<QString, TrackMetadata> m_byPath;
    std::optional<QString> m_tagFailure;
    QList<ExtractCall> m_extractCalls;
};

// Lists the same sub-tracks for any file of its extensions.
class FakeMultiTrackScanner : public MultiTrackScanner {
public:
    explicit FakeMultiTrackScanner(QSet<QString> extensions) : m_scanExtensions(std::move(extensions)) {}

    void setSubTracks(const QList<ScannedSubTrack>& subTracks)
    {
        Lock lock(m_scanMutex);
        m_subTracks = subTracks;
    }
    void failScans(const std::optional<QString>& message)
    {
        Lock lock(m_scanMutex);
        m_scanFailure = message;
    }
    QStringList scannedExtensions() const
    {
        Lock lock(m_scanMutex);
        return m_scanned;
    }

    bool canScan(const QString& extension) const override { return m_scanExtensions.contains(extension.toLower()); }
    QList<ScannedSubTrack> scanTracks(const QByteArray&, const QString& fileExtension) override
    {
        Lock lock(m_scanMutex);
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

// Also lists sub-tracks of files with its own extensions.
class FakeMultiTrackDecoderPlugin : public FakeExtractingDecoderPlugin, public FakeMultiTrackScanner {
public:
    FakeMultiTrackDecoderPlugin(QString name, QSet<QString> extensions)
        : FakeExtractingDecoderPlugin(std::move(name), extensions), FakeMultiTrackScanner(extensions)
    {
    }
};

} // namespace vessa::test
