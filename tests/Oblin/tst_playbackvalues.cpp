#include "Oblin/PlaybackCommand.h"
#include "Oblin/RepeatMode.h"
#include "VessaCore/Error.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QtTest>

#include <limits>

using namespace vessa;

class PlaybackValuesTest : public QObject {
    Q_OBJECT

private slots:
    void commandTexts_data();
    void commandTexts();
    void repeatModeRawTexts_data();
    void repeatModeRawTexts();
    void repeatModeCycle();
    void repeatModeJson();
    void repeatModeHashesItsText();
};

void PlaybackValuesTest::commandTexts_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    using Kind = PlaybackCommand::Kind;
    QTest::newRow("play") << int(Kind::play) << 0.0 << "play";
    QTest::newRow("pause") << int(Kind::pause) << 0.0 << "pause";
    QTest::newRow("next") << int(Kind::next) << 0.0 << "next";
    QTest::newRow("previous") << int(Kind::previous) << 0.0 << "previous";
    QTest::newRow("seek fraction") << int(Kind::seek) << 42.5 << "seek(to: 42.5)";
    QTest::newRow("seek whole") << int(Kind::seek) << 30.0 << "seek(to: 30.0)";
    QTest::newRow("seek zero") << int(Kind::seek) << 0.0 << "seek(to: 0.0)";
    QTest::newRow("seek shortest") << int(Kind::seek) << 0.1 << "seek(to: 0.1)";
    QTest::newRow("seek negative") << int(Kind::seek) << -2.0 << "seek(to: -2.0)";
    QTest::newRow("seek infinite") << int(Kind::seek) << std::numeric_limits<double>::infinity() << "seek(to: inf)";
}

void PlaybackValuesTest::commandTexts()
{
    QFETCH(int, kind);
    QFETCH(double, seconds);
    QFETCH(QString, text);
    PlaybackCommand command = PlaybackCommand::play();
    switch (PlaybackCommand::Kind(kind)) {
    case PlaybackCommand::Kind::seek: command = PlaybackCommand::seek(seconds); break;
    case PlaybackCommand::Kind::play: break;
    case PlaybackCommand::Kind::pause: command = PlaybackCommand::pause(); break;
    case PlaybackCommand::Kind::next: command = PlaybackCommand::next(); break;
    case PlaybackCommand::Kind::previous: command = PlaybackCommand::previous(); break;
    }
    QCOMPARE(int(command.kind()), kind);
    QCOMPARE(command.seconds(), seconds);
    QCOMPARE(command.description(), text);
}

void PlaybackValuesTest::repeatModeRawTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mode"); // -1: not a mode
    QTest::newRow("off") << "off" << int(RepeatMode::off);
    QTest::newRow("all") << "all" << int(RepeatMode::all);
    QTest::newRow("one") << "one" << int(RepeatMode::one);
    QTest::newRow("capitalised") << "All" << -1;
    QTest::newRow("upper case") << "ONE" << -1;
    QTest::newRow("padded") << " off" << -1;
    QTest::newRow("empty") << "" << -1;
}

void PlaybackValuesTest::repeatModeRawTexts()
{
    QFETCH(QString, text);
    QFETCH(int, mode);
    const std::optional<RepeatMode> parsed = repeatModeFromString(text);
    if (mode < 0) {
        QVERIFY(!parsed);
        QVERIFY_THROWS_EXCEPTION(JsonDecodingError, repeatModeFromJson(QJsonValue(text)));
        return;
    }
    QVERIFY(parsed);
    QCOMPARE(int(*parsed), mode);
    QCOMPARE(toString(*parsed), text);
}

void PlaybackValuesTest::repeatModeCycle()
{
    QCOMPARE(toString(next(RepeatMode::off)), QStringLiteral("all"));
    QCOMPARE(toString(next(RepeatMode::all)), QStringLiteral("one"));
    QCOMPARE(toString(next(RepeatMode::one)), QStringLiteral("off"));
    for (const RepeatMode start : {RepeatMode::off, RepeatMode::all, RepeatMode::one})
        QVERIFY(next(next(next(start))) == start);
}

void PlaybackValuesTest::repeatModeJson()
{
    // Inside a saved record the mode is the bare string.
    QJsonObject saved{{QStringLiteral("repeatMode"), toJson(RepeatMode::all)}};
    QCOMPARE(QJsonDocument(saved).toJson(QJsonDocument::Compact), QByteArray(R"({"repeatMode":"all"})"));
    for (const RepeatMode mode : {RepeatMode::off, RepeatMode::all, RepeatMode::one})
        QVERIFY(repeatModeFromJson(toJson(mode)) == mode);
    QVERIFY_THROWS_EXCEPTION(JsonDecodingError, repeatModeFromJson(QJsonValue(1)));
    QVERIFY_THROWS_EXCEPTION(JsonDecodingError, repeatModeFromJson(QJsonValue(QJsonObject{{"raw", "all"}})));
    QVERIFY_THROWS_EXCEPTION(JsonDecodingError, repeatModeFromJson(QJsonValue()));
}

void PlaybackValuesTest::repeatModeHashesItsText()
{
    QCOMPARE(qHash(RepeatMode::one, 7), qHash(QStringLiteral("one"), 7));
    const QSet<RepeatMode> modes{RepeatMode::off, RepeatMode::all, RepeatMode::one, RepeatMode::all};
    QCOMPARE(modes.size(), 3);
}

QTEST_GUILESS_MAIN(PlaybackValuesTest)
#include "tst_playbackvalues.moc"
