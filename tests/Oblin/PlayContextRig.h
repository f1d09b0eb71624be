#pragma once

// A PlayContext over the real Player and TrackResolver, with a fake output
// and fake plug-ins: a source that knows `trackCount` tracks ("Track 0" ...)
// at paths "/music/track<i>.fake", and a decoder that also reads their tags.
// Every track plays until endTrack(): each load holds the output's drain.
// Tags come from the decoder unless the test brings its own extractor.

#include "Oblin/PlayContext.h"
#include "Rasko/PluginRegistry.h"
#include "Rasko/TrackResolver.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/Player.h"
#include "tests/support/FakeAudioOutput.h"
#include "tests/support/FakePlugins.h"
#include "tests/support/LogCapture.h"

#include <QTest>

#include <memory>

namespace vessa::test {

inline const QString playbackCategory = QStringLiteral("com.tornwick.oblin.playback");

struct PlayContextRig {
    LogCapture log;
    FakeAudioOutput output;
    Player player{output};
    std::shared_ptr<FakeSourcePlugin> source = std::make_shared<FakeSourcePlugin>();
    std::shared_ptr<FakeExtractingDecoderPlugin> decoder =
        std::make_shared<FakeExtractingDecoderPlugin>(QStringLiteral("FakeDecoder"), QSet<QString>{"fake"});
    PluginRegistryPtr registry;
    TrackResolverPtr resolver;
    QList<TrackRef> tracks;
    std::unique_ptr<PlayContext> context; // last: goes first

    explicit PlayContextRig(int trackCount = 5, MetadataExtractorPtr extractor = nullptr)
    {
        registry = std::make_shared<PluginRegistry>(QList<SourcePluginPtr>{source}, QList<DecoderPluginPtr>{decoder});
        resolver = std::make_shared<TrackResolver>(
            registry, extractor ? extractor : MetadataExtractorPtr(registry->buildCompositeMetadataExtractor()));
        for (int i = 0; i < trackCount; ++i) {
            const TrackRef ref(QStringLiteral("Artist"), QStringLiteral("Album"), QStringLiteral("Track %1").arg(i));
            source->addTrack(ref, SourceResult(SourceLocator::fileURL(path(i)), QStringLiteral("fake")));
            decoder->setMetadata(path(i), TrackMetadata{.title = QStringLiteral("Title %1").arg(i)});
            tracks.append(ref);
        }
        output.setCallHook([this](const FakeAudioOutput::Call& call) {
            if (call.operation == FakeAudioOutput::Operation::prepare)
                output.holdDrain();
        });
        context = std::make_unique<PlayContext>(player, resolver);
    }

    static QString path(int i) { return QStringLiteral("/music/track%1.fake").arg(i); }

    // Starts the command; its outcome lands in the returned slot.
    std::shared_ptr<std::optional<std::exception_ptr>> start(const PlaybackCommand& command)
    {
        auto outcome = std::make_shared<std::optional<std::exception_ptr>>();
        context->execute(command, [outcome](std::exception_ptr error) { *outcome = error; });
        return outcome;
    }
    // Runs the command to its completion (bounded wait). Nothing when it never
    // completed; otherwise its error, empty on success.
    std::optional<std::exception_ptr> run(const PlaybackCommand& command)
    {
        auto outcome = start(command);
        if (!QTest::qWaitFor([&] { return outcome->has_value(); }, 10000))
            return std::nullopt;
        return *outcome;
    }
    bool succeeds(const PlaybackCommand& command)
    {
        const std::optional<std::exception_ptr> outcome = run(command);
        if (outcome && *outcome)
            qWarning("command failed: %s", qUtf8Printable(describeException(*outcome)));
        return outcome && !*outcome;
    }
    // The text of the command's failure; empty when it succeeded or never ended.
    QString failure(const PlaybackCommand& command)
    {
        const std::optional<std::exception_ptr> outcome = run(command);
        return outcome && *outcome ? describeException(*outcome) : QString();
    }

    // Starts a next command whose decoder open blocks until the test calls
    // decoder->releaseOpens(); null when the open never got there.
    std::shared_ptr<std::optional<std::exception_ptr>> startBlockedNext()
    {
        decoder->blockOpens();
        auto outcome = start(PlaybackCommand::next());
        return decoder->waitForBlockedOpens(1) ? outcome : nullptr;
    }

    // Lets the playing track end: its buffers are all rendered.
    void endTrack() { output.releaseDrain(); }

    int openCount() const { return int(decoder->openCalls().size()); }
    QStringList lines() const { return log.messages(playbackCategory); }
    int nowPlayingCount() const { return int(lines().filter(QStringLiteral("Now playing: ")).size()); }
    // Waits until `count` tracks have started since the rig was built.
    bool waitForNowPlaying(int count)
    {
        return QTest::qWaitFor([&] { return nowPlayingCount() >= count; }, 10000);
    }
    // Starts entry `index` of a fresh queue and waits until it plays.
    bool startPlaying(qsizetype index)
    {
        context->loadQueue(tracks, index);
        const int before = nowPlayingCount();
        return succeeds(PlaybackCommand::play()) && waitForNowPlaying(before + 1)
            && context->playingIndex() == index;
    }
    QString lastOpenedPath() const
    {
        const auto calls = decoder->openCalls();
        return calls.isEmpty() ? QString() : calls.last().locator.path();
    }
};

} // namespace vessa::test
