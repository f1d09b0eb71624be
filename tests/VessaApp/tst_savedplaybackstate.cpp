#include "Vessa/App/NowPlaying/SavedPlaybackState.h"
#include "tests/support/PlayContextRig.h"
#include "tests/support/SettingsRoundTrip.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace vessa;
using namespace vessa::test;
using State = std::optional<SavedPlaybackState>;

Q_DECLARE_METATYPE(vessa::SavedPlaybackState)
Q_DECLARE_METATYPE(State)

namespace {

SavedPlaybackState state(std::optional<QString> uri, bool shuffle, RepeatMode repeat)
{
    SavedPlaybackState saved;
    saved.currentTrackURI = std::move(uri);
    saved.shuffleEnabled = shuffle;
    saved.repeatMode = repeat;
    return saved;
}

} // namespace

class SavedPlaybackStateTest : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<SavedPlaybackState>("saved");
        QTest::newRow("a track, shuffle, repeat one")
            << state(QStringLiteral("vez:track:A:B:C:180"), true, RepeatMode::one);
        QTest::newRow("no track") << state(std::nullopt, false, RepeatMode::off);
        QTest::newRow("a uri with escapes, a sub-track and non-ASCII text")
            << state(QStringLiteral("vez:track:S%C3%B8ren:%3A:Dal#2"), false, RepeatMode::all);
    }
    void roundTrip()
    {
        QFETCH(SavedPlaybackState, saved);
        const QJsonObject object = QJsonDocument::fromJson(saved.toJson()).object();
        QCOMPARE(object.contains(QStringLiteral("currentTrackURI")), saved.currentTrackURI.has_value());
        QCOMPARE(object.value(QStringLiteral("repeatMode")).toString(), toString(saved.repeatMode));
        QCOMPARE(storedAndRead(SavedPlaybackState::settingsKey, saved.toJson(), SavedPlaybackState::load),
                 State(saved));
    }

    void readRules_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<State>("expected");
        const auto bytes = [](const char* json) { return QVariant(QByteArray(json)); };
        QTest::newRow("complete") << bytes(R"({"currentTrackURI":"u","shuffleEnabled":true,"repeatMode":"all"})")
                                  << State(state(QStringLiteral("u"), true, RepeatMode::all));
        QTest::newRow("null track") << bytes(R"({"currentTrackURI":null,"shuffleEnabled":false,"repeatMode":"one"})")
                                    << State(state(std::nullopt, false, RepeatMode::one));
        QTest::newRow("no track key") << bytes(R"({"shuffleEnabled":false,"repeatMode":"off"})")
                                      << State(state(std::nullopt, false, RepeatMode::off));
        QTest::newRow("\"One\" in upper case") << bytes(R"({"shuffleEnabled":true,"repeatMode":"One"})") << State();
        QTest::newRow("unknown repeat mode") << bytes(R"({"shuffleEnabled":true,"repeatMode":"twice"})") << State();
        QTest::newRow("no repeat mode") << bytes(R"({"shuffleEnabled":true})") << State();
        QTest::newRow("no shuffle key") << bytes(R"({"currentTrackURI":"u","repeatMode":"all"})") << State();
        QTest::newRow("shuffle as a number") << bytes(R"({"shuffleEnabled":1,"repeatMode":"all"})") << State();
        QTest::newRow("track as a number")
            << bytes(R"({"currentTrackURI":5,"shuffleEnabled":true,"repeatMode":"all"})") << State();
        QTest::newRow("an array") << bytes(R"([{"shuffleEnabled":true,"repeatMode":"all"}])") << State();
        QTest::newRow("not JSON") << bytes("shuffle=on") << State();
        QTest::newRow("empty bytes") << bytes("") << State();
        QTest::newRow("text instead of bytes")
            << QVariant(QStringLiteral(R"({"shuffleEnabled":true,"repeatMode":"all"})")) << State();
        QTest::newRow("nothing stored") << QVariant() << State();
    }
    void readRules()
    {
        QFETCH(QVariant, stored);
        QFETCH(State, expected);
        QCOMPARE(storedAndRead(SavedPlaybackState::settingsKey, stored, SavedPlaybackState::load), expected);
    }

    void recordOfThePlayContext()
    {
        PlayContextRig rig(3);
        QCOMPARE(SavedPlaybackState::of(*rig.context), state(std::nullopt, false, RepeatMode::off));
        rig.context->loadQueue(rig.tracks, 1);
        rig.context->setShuffleEnabled(true);
        rig.context->setRepeatMode(RepeatMode::one);
        QCOMPARE(SavedPlaybackState::of(*rig.context), state(rig.tracks[1].uri(), true, RepeatMode::one));
    }

    void applying_data()
    {
        QTest::addColumn<bool>("knownTrack");
        QTest::newRow("a track of the queue becomes current") << true;
        QTest::newRow("an unknown track still applies repeat and shuffle") << false;
    }
    void applying()
    {
        QFETCH(bool, knownTrack);
        PlayContextRig rig(4);
        rig.context->loadQueue(rig.tracks, 0);
        const QString uri = knownTrack ? rig.tracks[2].uri() : QStringLiteral("vez:track:Gone:Gone:Gone");
        state(uri, true, RepeatMode::one).applyTo(*rig.context);
        QVERIFY(rig.context->repeatMode() == RepeatMode::one);
        QVERIFY(rig.context->shuffleEnabled());
        QCOMPARE(rig.context->currentIndex(), Index(knownTrack ? 2 : 0));
        QCOMPARE(rig.context->playingIndex(), knownTrack ? Index(2) : std::nullopt);
        QVERIFY(rig.player.transportState() == TransportState::idle()); // nothing starts playing
        QVERIFY(rig.log.contains(QStringLiteral("com.tornwick.vessa.App"),
                                 QStringLiteral("Restored playback state: repeat=one, shuffle=true")));
    }
};

QTEST_GUILESS_MAIN(SavedPlaybackStateTest)
#include "tst_savedplaybackstate.moc"
