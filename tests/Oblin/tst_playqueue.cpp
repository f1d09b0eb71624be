#include "tests/support/PlayContextRig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <ranges>

using namespace vessa;
using namespace vessa::test;

using Hints = QList<std::optional<QString>>;

class PlayQueueTest : public QObject {
    Q_OBJECT

private slots:
    void playbackValues()
    {
        QCOMPARE(PlaybackCommand::previous().description(), QStringLiteral("previous"));
        QCOMPARE(PlaybackCommand::seek(42.5).description(), QStringLiteral("seek(to: 42.5)"));
        QCOMPARE(PlaybackCommand::seek(30).description(), QStringLiteral("seek(to: 30.0)"));
        QVERIFY(next(RepeatMode::off) == RepeatMode::all && next(next(RepeatMode::all)) == RepeatMode::off);
        for (const char* text : {"All", " off", ""})
            QVERIFY(!repeatModeFromString(QString::fromLatin1(text)));
        // Inside a saved record the mode is the bare string.
        const QJsonObject saved{{QStringLiteral("repeatMode"), toJson(RepeatMode::one)}};
        QCOMPARE(QJsonDocument(saved).toJson(QJsonDocument::Compact), QByteArray(R"({"repeatMode":"one"})"));
        QVERIFY(repeatModeFromJson(saved.value(QStringLiteral("repeatMode"))) == RepeatMode::one);
        QVERIFY_THROWS_EXCEPTION(JsonDecodingError, repeatModeFromJson(QJsonValue(QStringLiteral("One"))));
    }

    void loadQueue_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<qsizetype>("startIndex");
        QTest::addColumn<Index>("current");
        QTest::newRow("empty") << 0 << qsizetype(0) << Index();
        QTest::newRow("inside") << 5 << qsizetype(2) << Index(2);
        QTest::newRow("past the end") << 10 << qsizetype(25) << Index(9);
        QTest::newRow("negative") << 5 << qsizetype(-3) << Index(0);
    }
    void loadQueue()
    {
        QFETCH(int, count);
        QFETCH(qsizetype, startIndex);
        QFETCH(Index, current);
        for (const bool shuffle : {false, true}) {
            PlayContextRig rig(count);
            rig.context->setShuffleEnabled(shuffle);
            rig.context->setLastError(std::make_exception_ptr(CancellationError()));
            rig.context->setCurrentMetadata(TrackMetadata{});
            rig.context->loadQueue(rig.tracks, startIndex, std::nullopt, std::nullopt, QStringLiteral("library"));
            QCOMPARE(rig.lines(),
                     QStringList{QStringLiteral("loadQueue: %1 tracks, startIndex=%2").arg(count).arg(startIndex)});
            QCOMPARE(rig.context->queueID(), std::optional<QString>(QStringLiteral("library")));
            QVERIFY(!rig.context->lastError() && !rig.context->currentMetadata());
            QCOMPARE(rig.context->currentTrack(), current ? std::optional(rig.tracks[*current]) : std::nullopt);
            QCOMPARE(rig.context->shuffledIndices().size(), shuffle ? count : 0);
            QCOMPARE(rig.context->shufflePosition(), shuffle && current ? Index(0) : std::nullopt);
        }
    }

    void hintsAreFittedToTheTracks_data()
    {
        QTest::addColumn<Hints>("hints");
        QTest::addColumn<QString>("resolveLine"); // of entry 1 of 2
        const QString line = QStringLiteral("resolveAndPlay: vez:track:Artist:Album:Track%201");
        QTest::newRow("none") << Hints() << line;
        QTest::newRow("one each") << Hints{std::nullopt, QStringLiteral("b.fake")} << line + " (hint: b.fake)";
        QTest::newRow("too few are padded") << Hints{QStringLiteral("a.fake")} << line;
        QTest::newRow("too many are cut")
            << Hints{std::nullopt, QStringLiteral("b.fake"), QStringLiteral("c.fake")} << line + " (hint: b.fake)";
    }
    void hintsAreFittedToTheTracks()
    {
        QFETCH(Hints, hints);
        QFETCH(QString, resolveLine);
        // Relative hints without a playlist lead nowhere: the source resolves.
        const std::optional<Hints> given = hints.isEmpty() ? std::nullopt : std::optional(hints);
        for (const bool appended : {false, true}) {
            PlayContextRig rig(2);
            if (appended)
                rig.context->appendToQueue(rig.tracks, given);
            else
                rig.context->loadQueue(rig.tracks, 0, given);
            QCOMPARE(rig.run(PlaybackCommand::next()), QString());
            QCOMPARE(rig.lines().filter(QStringLiteral("resolveAndPlay: ")), QStringList{resolveLine});
        }
    }

    void appendToQueue()
    {
        PlayContextRig rig(6);
        rig.context->setShuffleEnabled(true);
        rig.context->appendToQueue({});
        QVERIFY(rig.lines().isEmpty());
        // Without a current entry the first appended one becomes current, and
        // under shuffle starts a fresh order: the first next never replays it.
        rig.context->appendToQueue(rig.tracks.first(4));
        QCOMPARE(rig.lines(), QStringList{QStringLiteral("appendToQueue: 4 tracks")});
        QVERIFY(rig.context->currentIndex() == 0 && rig.context->shufflePosition() == 0);
        QCOMPARE(rig.context->shuffledIndices().first(), 0);
        // Otherwise the new entries come right after the current slot, in random order.
        QSet<qsizetype> firstAppended;
        for (int run = 0; run < 30; ++run) {
            rig.context->loadQueue(rig.tracks.first(4), 0);
            QCOMPARE(rig.run(PlaybackCommand::next()), QString());
            const QList<qsizetype> before = rig.context->shuffledIndices();
            rig.context->appendToQueue(rig.tracks.mid(4));
            const QList<qsizetype> after = rig.context->shuffledIndices();
            QCOMPARE(rig.context->shufflePosition(), Index(1));
            QCOMPARE(after.first(2) + after.sliced(4), before);
            QCOMPARE(after[2] + after[3], 9);
            firstAppended.insert(after[2]);
        }
        QCOMPARE(firstAppended.size(), 2);
    }

    // A queue assigned directly brings its own shuffle order, so stepping
    // through it only ever reaches its own entries.
    void aQueueSetDirectlyStaysInStep_data()
    {
        QTest::addColumn<bool>("shuffle");
        QTest::addColumn<int>("count");
        QTest::newRow("shorter, in order") << false << 3;
        QTest::newRow("shorter, shuffled") << true << 3;
        QTest::newRow("longer, shuffled") << true << 7;
    }
    void aQueueSetDirectlyStaysInStep()
    {
        QFETCH(bool, shuffle);
        QFETCH(int, count);
        PlayContextRig rig(7);
        rig.context->setShuffleEnabled(shuffle);
        rig.context->loadQueue(rig.tracks.first(5), 0, Hints(5, QStringLiteral("/elsewhere/x.fake")));
        rig.context->setQueue(rig.tracks.first(count));
        QList<qsizetype> order = rig.context->shuffledIndices();
        std::sort(order.begin(), order.end());
        QVERIFY(shuffle ? std::ranges::equal(order, std::views::iota(0, count)) : order.isEmpty());
        QSet<qsizetype> played;
        for (int step = 0; step < count; ++step) {
            QCOMPARE(rig.run(PlaybackCommand::next()), QString());
            if (rig.context->playingIndex())
                played.insert(*rig.context->playingIndex());
            QVERIFY(rig.context->currentTrack().has_value() || !rig.context->playingIndex());
        }
        for (const qsizetype index : played)
            QVERIFY(index >= 0 && index < count);
        QVERIFY(!played.isEmpty());
    }

    void shuffleOrders_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<Index>("current");
        QTest::newRow("current entry") << 8 << Index(3);
        QTest::newRow("no current entry") << 8 << Index();
        QTest::newRow("one entry") << 1 << Index(0);
        QTest::newRow("empty") << 0 << Index();
    }
    void shuffleOrders()
    {
        QFETCH(int, count);
        QFETCH(Index, current);
        PlayContextRig rig(count);
        rig.context->setQueue(rig.tracks);
        rig.context->setCurrentIndex(current);
        QSet<QList<qsizetype>> distinct;
        for (int round = 0; round < 200; ++round) {
            rig.context->setShuffleEnabled(true); // again and again: a new order each time
            QList<qsizetype> order = rig.context->shuffledIndices();
            QVERIFY(!current || order.first() == *current);
            QCOMPARE(rig.context->shufflePosition(), current ? Index(0) : std::nullopt);
            distinct.insert(order);
            std::sort(order.begin(), order.end());
            QVERIFY(std::ranges::equal(order, std::views::iota(0, count))); // every entry exactly once
        }
        QVERIFY(count < 8 || distinct.size() > 150);
        rig.context->setShuffleEnabled(false);
        QVERIFY(rig.context->shuffledIndices().isEmpty() && !rig.context->shufflePosition());
        QCOMPARE(rig.context->currentIndex(), current);
    }
};

QTEST_GUILESS_MAIN(PlayQueueTest)
#include "tst_playqueue.moc"
