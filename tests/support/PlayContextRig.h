#pragma once

// A PlayContext over the real Player and TrackResolver, with a fake output
// and fake plug-ins: a source that knows `trackCount` tracks ("Track 0" ...)
// at "/music/track<i>.fake", and a decoder that also reads their tags
// ("Title <i>"). Every track plays until endTrack(): each load holds the drain.

#include "Oblin/PlayContext.h"
#include "Rasko/PluginRegistry.h"
#include "VessaCore/ExceptionDescription.h"
#include "tests/support/FakeAudioOutput.h"
#include "tests/support/FakePlugins.h"
#include "tests/support/LogCapture.h"

#include <QTest>

namespace vessa::test {

using Index = std::optional<qsizetype>;
// A command's outcome once it completed: its error, empty on success.
using Outcome = std::shared_ptr<std::optional<std::exception_ptr>>;

struct PlayContextRig {
    LogCapture log;
    FakeAudioOutput output;
    Player player{output};
    std::shared_ptr<FakeSourcePlugin> source = std::make_shared<FakeSourcePlugin>();
    std::shared_ptr<FakeExtractingDecoderPlugin> decoder =
        std::make_shared<FakeExtractingDecoderPlugin>(QStringLiteral("FakeDecoder"), QSet<QString>{"fake"});
    QList<TrackRef> tracks;
    std::unique_ptr<PlayContext> context; // last: goes first

    explicit PlayContextRig(int trackCount = 5)
    {
        for (int i = 0; i < trackCount; ++i) {
            tracks.append(
                TrackRef(QStringLiteral("Artist"), QStringLiteral("Album"), QStringLiteral("Track %1").arg(i)));
            source->addTrack(tracks.last(), SourceResult(SourceLocator::fileURL(path(i)), QStringLiteral("fake")));
            decoder->setMetadata(path(i), TrackMetadata{.title = QStringLiteral("Title %1").arg(i)});
        }
        output.setCallHook([this](const FakeAudioOutput::Call& call) {
            if (call.operation == FakeAudioOutput::Operation::prepare)
                output.holdDrain();
        });
        auto registry =
            std::make_shared<PluginRegistry>(QList<SourcePluginPtr>{source}, QList<DecoderPluginPtr>{decoder});
        context = std::make_unique<PlayContext>(
            player, std::make_shared<TrackResolver>(registry, registry->buildCompositeMetadataExtractor()));
    }

    static QString path(qsizetype i) { return QStringLiteral("/music/track%1.fake").arg(i); }

    Outcome start(const PlaybackCommand& command)
    {
        auto outcome = std::make_shared<std::optional<std::exception_ptr>>();
        context->execute(command, [outcome](std::exception_ptr error) { *outcome = error; });
        return outcome;
    }
    // Runs the command to its end: empty on success, else the failure's text.
    QString run(const PlaybackCommand& command)
    {
        Outcome outcome = start(command);
        if (!QTest::qWaitFor([&] { return outcome->has_value(); }, 10000))
            return QStringLiteral("(never completed)");
        return **outcome ? describeException(**outcome) : QString();
    }
    // The playing track's buffers are all rendered: it ends.
    void endTrack() { output.releaseDrain(); }

    // The text of the context's lastError; empty when there is none.
    QString lastError() const { return context->lastError() ? describeException(context->lastError()) : QString(); }
    int openCount() const { return int(decoder->openCalls().size()); }
    QString lastOpenedPath() const { return openCount() ? decoder->openCalls().last().locator.path() : QString(); }
    QStringList lines() const { return log.messages(QStringLiteral("com.tornwick.oblin.playback")); }
    int nowPlayingCount() const { return int(lines().filter(QStringLiteral("Now playing: ")).size()); }
    bool waitForNowPlaying(int count)
    {
        return QTest::qWaitFor([&] { return nowPlayingCount() >= count; }, 10000);
    }
    // Loads the queue and plays entry `index` of it.
    bool startPlaying(qsizetype index)
    {
        context->loadQueue(tracks, index);
        const int before = nowPlayingCount();
        return run(PlaybackCommand::play()).isEmpty() && waitForNowPlaying(before + 1)
               && context->playingIndex() == index;
    }
};

} // namespace vessa::test
