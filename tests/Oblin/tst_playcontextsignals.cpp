#include "tests/support/PlayContextRig.h"

#include "VessaCore/Clock.h"

#include <QtTest>

#include <algorithm>
#include <numeric>

using namespace vessa;
using namespace vessa::test;

namespace {

// Runs the steps of a scenario on a rig and waits after each until every
// resolve it started has ended (played, failed or was superseded).
//   load <tracks> @<start> [hinted] [as <queue id>]  tracks: "none", "1-3" or "0,1,0"
//   append <tracks>, reload <tracks>, set <tracks> (the queue itself), index <i|none>
//   play, next, previous, next next (two at once), end (the track ends)
//   at <seconds>s, shuffle on|off, repeat off|all|one
//   restore <i> (tracks[i], no tags), vanish <i> (tracks[i] cannot be found)
class Scenario {
public:
    explicit Scenario(PlayContextRig& rig) : m_rig(rig) {}

    bool run(const QStringList& steps)
    {
        for (const QString& step : steps) {
            if (!runStep(step.split(u' ')))
                return false;
        }
        return true;
    }

private:
    QList<TrackRef> tracks(const QString& pattern) const
    {
        QList<TrackRef> picked;
        if (pattern == QStringLiteral("none"))
            return picked;
        if (pattern.contains(u'-')) {
            for (int i = pattern.section(u'-', 0, 0).toInt(); i <= pattern.section(u'-', 1).toInt(); ++i)
                picked.append(m_rig.tracks[i]);
            return picked;
        }
        for (const QString& index : pattern.split(u','))
            picked.append(m_rig.tracks[index.toInt()]);
        return picked;
    }

    int count(const QString& prefix) const
    {
        const QStringList lines = m_rig.lines();
        return int(
            std::count_if(lines.begin(), lines.end(), [&](const QString& line) { return line.startsWith(prefix); }));
    }
    bool settled() const
    {
        return count(QStringLiteral("resolveAndPlay: "))
               == count(QStringLiteral("Now playing: ")) + count(QStringLiteral("Track not found: "))
                      + count(QStringLiteral("resolveAndPlay cancelled (superseded): "));
    }

    bool runStep(const QStringList& words)
    {
        PlayContext& context = *m_rig.context;
        const QString& verb = words[0];
        if (verb == QStringLiteral("load")) {
            const QList<TrackRef> queue = tracks(words[1]);
            std::optional<QList<std::optional<QString>>> hints;
            if (words.contains(QStringLiteral("hinted")))
                hints = QList<std::optional<QString>>(queue.size(), QStringLiteral("elsewhere.fake"));
            std::optional<QString> queueID;
            if (const qsizetype as = words.indexOf(QStringLiteral("as")); as > 0)
                queueID = words[as + 1];
            context.loadQueue(queue, words[2].mid(1).toInt(), hints, std::nullopt, queueID);
        } else if (verb == QStringLiteral("append")) {
            context.appendToQueue(tracks(words[1]));
        } else if (verb == QStringLiteral("reload")) {
            context.reloadQueue(tracks(words[1]));
        } else if (verb == QStringLiteral("set")) {
            context.setQueue(tracks(words[1]));
        } else if (verb == QStringLiteral("index")) {
            context.setCurrentIndex(words[1] == QStringLiteral("none") ? Index() : Index(words[1].toInt()));
        } else if (verb == QStringLiteral("play")) {
            m_rig.run(PlaybackCommand::play());
        } else if (verb == QStringLiteral("previous")) {
            m_rig.run(PlaybackCommand::previous());
        } else if (verb == QStringLiteral("next") && words.size() == 1) {
            m_rig.run(PlaybackCommand::next());
        } else if (verb == QStringLiteral("next")) {
            const Outcome first = m_rig.start(PlaybackCommand::next());
            const Outcome second = m_rig.start(PlaybackCommand::next());
            if (!QTest::qWaitFor([&] { return first->has_value() && second->has_value(); }, 10000))
                return false;
        } else if (verb == QStringLiteral("end")) {
            const int advances = count(QStringLiteral("Auto-advance from index"));
            m_rig.endTrack();
            if (!QTest::qWaitFor([&] { return count(QStringLiteral("Auto-advance from index")) > advances; }, 10000))
                return false;
        } else if (verb == QStringLiteral("at")) {
            const double seconds = words[1].chopped(1).toDouble();
            m_rig.output.setCurrentTime(seconds);
            if (!QTest::qWaitFor([&] { return context.clock()->position() == seconds; }, 10000))
                return false;
        } else if (verb == QStringLiteral("shuffle")) {
            context.setShuffleEnabled(words[1] == QStringLiteral("on"));
        } else if (verb == QStringLiteral("repeat")) {
            context.setRepeatMode(*repeatModeFromString(words[1]));
        } else if (verb == QStringLiteral("restore")) {
            context.restorePosition(m_rig.tracks[words[1].toInt()], std::nullopt);
        } else if (verb == QStringLiteral("vanish")) {
            m_rig.source->addFailingTrack(m_rig.tracks[words[1].toInt()], QStringLiteral("No such file"));
        } else {
            qWarning("unknown step: %s", qPrintable(words.join(u' ')));
            return false;
        }
        return QTest::qWaitFor([&] { return settled(); }, 10000);
    }

    PlayContextRig& m_rig;
};

// Records the change signals of the queue and its positions by name, and
// checks at each that the shuffle order already fits the queue: an observer
// that re-reads the context, or plays on, must never meet a stale order.
class ChangeRecorder {
public:
    explicit ChangeRecorder(PlayContext& context) : m_context(context)
    {
        connect(&PlayContext::queueChanged, "queue");
        connect(&PlayContext::currentIndexChanged, "currentIndex");
        connect(&PlayContext::playingIndexChanged, "playingIndex");
        connect(&PlayContext::currentTrackChanged, "currentTrack");
        QObject::connect(&m_context, &PlayContext::queueIDChanged, &m_context, [this] {
            if (!orderFitsQueue())
                m_staleOrders.append(QStringLiteral("queueID"));
        });
    }

    // Sorted: one operation may change several fields, in any order.
    QStringList signalNames() const
    {
        QStringList names = m_names;
        names.sort();
        return names;
    }
    const QStringList& staleOrders() const { return m_staleOrders; }

private:
    void connect(void (PlayContext::*signal)(), const char* name)
    {
        QObject::connect(&m_context, signal, &m_context, [this, name] {
            m_names.append(QString::fromLatin1(name));
            if (!orderFitsQueue())
                m_staleOrders.append(QString::fromLatin1(name));
        });
    }
    bool orderFitsQueue() const
    {
        if (!m_context.shuffleEnabled())
            return m_context.shuffledIndices().isEmpty();
        QList<qsizetype> order = m_context.shuffledIndices();
        std::sort(order.begin(), order.end());
        QList<qsizetype> positions(m_context.queue().size());
        std::iota(positions.begin(), positions.end(), qsizetype(0));
        const std::optional<qsizetype> slot = m_context.shufflePosition();
        return order == positions && (!slot || (*slot >= 0 && *slot < order.size()));
    }

    PlayContext& m_context;
    QStringList m_names;
    QStringList m_staleOrders;
};

QString indexText(Index index)
{
    return index ? QString::number(*index) : QStringLiteral("-");
}

} // namespace

class PlayContextSignalsTest : public QObject {
    Q_OBJECT

private slots:
    // Each row prepares a context, then watches one operation: which of the
    // change signals fire (each once per real change, none otherwise) and
    // where the context ends ("current/playing", "-" for none).
    void changeSignalsFireOncePerChange_data()
    {
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QStringList>("action");
        QTest::addColumn<QStringList>("fired");
        QTest::addColumn<QString>("after");
        const auto row = [](const char* name, const char* setup, const char* action, const char* fired,
                            const char* after) {
            const auto list = [](const char* text, QChar separator) {
                return QString::fromUtf8(text).split(separator, Qt::SkipEmptyParts);
            };
            QTest::newRow(name) << list(setup, u';') << list(action, u';') << list(fired, u' ')
                                << QString::fromUtf8(after);
        };
        const char* moved = "currentIndex currentTrack playingIndex";
        const char* replaced = "currentIndex currentTrack queue";

        row("load into an empty context", "", "load 0-4 @2", replaced, "2/-");
        row("load an empty list into an empty context", "", "load none @0", "", "-/-");
        row("load the same queue again", "load 0-4 @2", "load 0-4 @2", "", "2/-");
        row("load the same queue with hints", "load 0-4 @2", "load 0-4 @2 hinted", "", "2/-");
        row("load the same queue at another entry", "load 0-4 @2", "load 0-4 @3", "currentIndex currentTrack", "3/-");
        row("load another queue, same entry", "load 0-4 @2", "load 0-2 @2", "queue", "2/-");
        row("load another queue, same position", "load 0-4 @0", "load 1-4 @0", "currentTrack queue", "0/-");
        row("load another queue, same track", "load 0-4 @2", "load 1-4 @1", "currentIndex queue", "1/-");
        row("load an empty list", "load 0-4 @2", "load none @0", replaced, "-/-");
        row("load past the end", "", "load 0-4 @9", replaced, "4/-");
        row("load a shorter queue under shuffle", "shuffle on;load 0-4 @2", "load 0-1 @1", replaced, "1/-");
        row("load a shorter queue of another list under shuffle", "shuffle on;load 0-4 @2", "load 0-1 @1 as Mix",
            replaced, "1/-");
        row("load while a track plays", "load 0-4 @1;play", "load 0-4 @3", "currentIndex currentTrack", "3/1");
        row("load another list while a track plays", "load 0-4 @1;play", "load 1-4 @2",
            "currentIndex currentTrack playingIndex queue", "2/-");
        row("load the same list as another while a track plays", "load 0-4 @1;play", "load 0-4 @3 as Mix",
            "currentIndex currentTrack playingIndex", "3/-");

        row("append to an empty context", "", "append 0-1", replaced, "0/-");
        row("append to a queue", "load 0-2 @1", "append 3-4", "queue", "1/-");
        row("append nothing", "load 0-2 @1", "append none", "", "1/-");
        row("append under shuffle", "shuffle on;load 0-2 @1", "append 3-4", "queue", "1/-");
        row("append after an empty load", "load none @0", "append 2-3", replaced, "0/-");
        row("append reaches the current position", "load 0-4 @4;set 0-2", "append 3-4", "currentTrack queue", "4/-");

        row("reload the same list", "load 0-4 @2", "reload 0-4", "playingIndex", "2/2");
        row("reload the same list while it plays", "load 0-4 @2;play", "reload 0-4", "", "2/2");
        row("reload another list's queue", "load 0-4 @2 as Mix", "reload 0-4", "playingIndex", "2/2");
        row("reload, the current track elsewhere", "load 0-4 @2", "reload 1-4", "currentIndex playingIndex queue",
            "1/1");
        row("reload without the current track", "load 0-4 @2", "reload 0-1", replaced, "0/-");
        row("reload a shorter list under shuffle", "shuffle on;load 0-4 @4 as Mix", "reload 3-4",
            "currentIndex playingIndex queue", "1/1");

        row("set the same queue", "load 0-4 @1", "set 0-4", "", "1/-");
        row("set a queue keeping the current track", "load 0-4 @1", "set 0-2", "queue", "1/-");
        row("set a queue without the current position", "load 0-4 @3", "set 0-2", "currentTrack queue", "3/-");
        row("set a queue with another current track", "load 0-4 @1", "set 2-4", "currentTrack queue", "1/-");
        row("set a shorter queue under shuffle", "shuffle on;load 0-4 @1", "set 0-1", "queue", "1/-");

        row("set the same index", "load 0-4 @1", "index 1", "", "1/-");
        row("set another index", "load 0-4 @1", "index 3", "currentIndex currentTrack", "3/-");
        row("set an index past the end", "load 0-4 @1", "index 7", "currentIndex currentTrack", "7/-");
        row("set no index", "load 0-4 @1", "index none", "currentIndex currentTrack", "-/-");
        row("set the index of an equal track", "load 0,1,0 @0", "index 2", "currentIndex", "2/-");

        row("play", "load 0-4 @1", "play", "playingIndex", "1/1");
        row("play while playing", "load 0-4 @1;play", "play", "", "1/1");
        row("play the playing entry of a new queue", "load 0-4 @1;play;load 0-4 @1", "play", "", "1/1");
        row("next", "load 0-4 @1;play", "next", moved, "2/2");
        row("next before anything played", "load 0-4 @1", "next", moved, "2/2");
        row("next in an empty context", "", "next", "", "-/-");
        row("next at the end stops", "load 0-4 @4;play", "next", "", "4/4");
        row("next wraps under repeat all", "repeat all;load 0-4 @4;play", "next", moved, "0/0");
        row("next in a one-entry queue under repeat all", "repeat all;load 0-0 @0;play", "next", "", "0/0");
        row("next under shuffle", "shuffle on;load 0-1 @0;play", "next", moved, "1/1");
        row("next to an equal track", "load 0,0 @0;play", "next", "currentIndex playingIndex", "1/1");
        row("two quick nexts", "load 0-4 @0;play", "next next",
            "currentIndex currentIndex currentTrack currentTrack playingIndex", "2/2");
        row("previous", "load 0-4 @2;play", "previous", moved, "1/1");
        row("previous on the first entry restarts", "load 0-4 @0;play", "previous", "", "0/0");
        row("previous after 3 s restarts", "load 0-4 @2;play;at 5s", "previous", "", "2/2");
        row("previous under shuffle", "shuffle on;load 0-1 @0;play;next", "previous", moved, "0/0");

        row("shuffle on", "load 0-4 @2;play", "shuffle on", "", "2/2");
        row("shuffle on again", "shuffle on;load 0-4 @2;play", "shuffle on", "", "2/2");
        row("shuffle off", "shuffle on;load 0-4 @2;play", "shuffle off", "", "2/2");

        row("restore another entry", "load 0-4 @0", "restore 3", moved, "3/3");
        row("restore the current entry", "load 0-4 @3", "restore 3", "playingIndex", "3/3");
        row("restore the playing entry", "load 0-4 @3;play", "restore 3", "", "3/3");
        row("restore while another entry plays", "load 0-4 @1;play", "restore 3", moved, "3/3");
        row("restore an absent track", "load 0-2 @0", "restore 4", "", "0/-");
        row("restore into an empty queue", "", "restore 1", "", "-/-");
        row("restore a repeated track", "load 0,1,0 @2", "restore 0", "currentIndex playingIndex", "0/0");
        row("restore under shuffle", "shuffle on;load 0-4 @0", "restore 3", moved, "3/3");

        row("track end moves on", "load 0-4 @1;play", "end", moved, "2/2");
        row("track end at the end", "load 0-4 @4;play", "end", "", "4/4");
        row("track end under repeat one", "repeat one;load 0-4 @2;play", "end", "", "2/2");
        row("track end wraps under repeat all", "repeat all;load 0-4 @4;play", "end", moved, "0/0");

        row("next to a vanished track", "vanish 2;load 0-4 @1;play", "next", moved, "2/-");
        row("track end to a vanished track", "vanish 2;load 0-4 @1;play", "end", moved, "2/-");
        row("play a vanished track", "vanish 1;load 0-4 @1", "play", "", "1/-");
        row("play a vanished track again", "vanish 1;load 0-4 @1;play", "play", "", "1/-");
        row("play a vanished track while another plays", "vanish 3;load 0-4 @1;play;load 0-4 @3", "play",
            "playingIndex", "3/-");
    }

    void changeSignalsFireOncePerChange()
    {
        QFETCH(QStringList, setup);
        QFETCH(QStringList, action);
        QFETCH(QStringList, fired);
        QFETCH(QString, after);
        PlayContextRig rig(5);
        rig.decoder->setHonoursHints(false); // streams end under repeat one too
        Scenario scenario(rig);
        QVERIFY(scenario.run(setup));
        ChangeRecorder recorder(*rig.context);
        QVERIFY(scenario.run(action));
        QCoreApplication::processEvents();
        QCOMPARE(recorder.signalNames(), fired);
        QCOMPARE(indexText(rig.context->currentIndex()) + u'/' + indexText(rig.context->playingIndex()), after);
        QCOMPARE(recorder.staleOrders(), QStringList());
    }

    void restorePosition_data()
    {
        QTest::addColumn<QString>("queue"); // as in a load step, current entry 1
        QTest::addColumn<bool>("shuffle");
        QTest::addColumn<bool>("playing"); // entry 1 plays
        QTest::addColumn<int>("restored");
        QTest::addColumn<bool>("withTags");
        QTest::addColumn<Index>("current");
        QTest::addColumn<Index>("playingIndex");
        QTest::newRow("an entry") << "0-4" << false << false << 3 << false << Index(3) << Index(3);
        QTest::newRow("an entry, with tags") << "0-4" << false << false << 3 << true << Index(3) << Index(3);
        QTest::newRow("the first of two equal entries")
            << "2,0,2" << false << false << 2 << true << Index(0) << Index(0);
        QTest::newRow("an absent track") << "0-2" << false << false << 4 << true << Index(1) << Index();
        QTest::newRow("an absent track while one plays") << "0-2" << false << true << 4 << true << Index(1) << Index(1);
        QTest::newRow("into an empty queue") << "none" << false << false << 0 << true << Index() << Index();
        QTest::newRow("while another entry plays") << "0-4" << false << true << 3 << false << Index(3) << Index(3);
        QTest::newRow("under shuffle") << "0-4" << true << false << 3 << false << Index(3) << Index(3);
        QTest::newRow("under shuffle, the current entry")
            << "0-4" << true << false << 1 << true << Index(1) << Index(1);
    }

    // restorePosition points the context at the first entry of the track and
    // marks it playing, without touching the player; an absent track changes
    // nothing and logs nothing.
    void restorePosition()
    {
        QFETCH(QString, queue);
        QFETCH(bool, shuffle);
        QFETCH(bool, playing);
        QFETCH(int, restored);
        QFETCH(bool, withTags);
        QFETCH(Index, current);
        QFETCH(Index, playingIndex);
        PlayContextRig rig(5);
        Scenario scenario(rig);
        QVERIFY(scenario.run({shuffle ? "shuffle on" : "shuffle off", "load " + queue + " @1"}));
        if (playing)
            QVERIFY(scenario.run({"play"}));
        QTRY_VERIFY(!playing || rig.context->currentMetadata());
        rig.context->setCurrentMetadata(TrackMetadata{.title = QStringLiteral("Before")});
        const QList<qsizetype> orderBefore = rig.context->shuffledIndices();
        const QStringList linesBefore = rig.lines();
        const int opens = rig.openCount();
        rig.output.clearCalls();

        const TrackRef track = rig.tracks[restored];
        rig.context->restorePosition(track, withTags ? std::optional(TrackMetadata{.title = QStringLiteral("Given")})
                                                     : std::nullopt);
        QCOMPARE(rig.context->currentIndex(), current);
        QCOMPARE(rig.context->playingIndex(), playingIndex);
        const bool found = current && rig.context->queue()[*current] == track;
        QCOMPARE(rig.context->currentMetadata()->title,
                 std::optional<QString>(found && withTags ? QStringLiteral("Given") : QStringLiteral("Before")));
        QStringList expectedLines = linesBefore;
        if (found)
            expectedLines
                << QStringLiteral("Restored position to index %1: %2").arg(QString::number(*current), track.uri());
        QCOMPARE(rig.lines(), expectedLines);
        // Under shuffle a found entry starts a new order; otherwise it stays.
        if (shuffle && found) {
            QCOMPARE(rig.context->shuffledIndices().first(), *current);
            QCOMPARE(rig.context->shufflePosition(), Index(0));
        } else {
            QCOMPARE(rig.context->shuffledIndices(), orderBefore);
        }
        // Nothing is resolved, opened, started or stopped.
        QCoreApplication::processEvents();
        QCOMPARE(rig.openCount(), opens);
        for (const char* call : {"prepare", "play", "pause", "stop", "seek"})
            QVERIFY2(!rig.output.callNames().contains(QString::fromLatin1(call)), call);
        QCOMPARE(rig.player.transportState().isPlaying(), playing);
    }
};

QTEST_GUILESS_MAIN(PlayContextSignalsTest)
#include "tst_playcontextsignals.moc"
