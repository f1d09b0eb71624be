#include "VessaCore/Error.h"
#include "VessaCore/PathExtension.h"
#include "VessaCore/PullPcmBufferStream.h"
#include "VessaCore/TrackRef.h"
#include "VessaCore/TransportState.h"
#include "VessaCore/VectorPcmBufferStream.h"

#include <QJsonDocument>
#include <QSet>
#include <QtTest>

using namespace vessa;

using OptInt = std::optional<qint64>;
Q_DECLARE_METATYPE(OptInt)

namespace {

QString number(OptInt value)
{
    return value ? QString::number(*value) : QString();
}

// scheme|identifier|artist|album|track|durationHint|subTrackIndex
QString views(const TrackRef& ref)
{
    return QStringList({ref.scheme(), ref.identifier(), ref.artist(), ref.album(), ref.track(),
                        number(ref.durationHint()), number(ref.subTrackIndex())})
        .join(u'|');
}

} // namespace

class ValuesTest : public QObject {
    Q_OBJECT

private slots:
    void trackRefConstructor_data()
    {
        QTest::addColumn<QString>("text"); // the title; the artist and album add a letter to it
        QTest::addColumn<OptInt>("duration");
        QTest::addColumn<OptInt>("index");
        QTest::addColumn<QString>("uri"); // "": not compared

        QTest::newRow("plain") << "EF" << OptInt() << OptInt() << "vez:track:EFA:BEF:EF";
        QTest::newRow("duration and index") << "EF" << OptInt(185) << OptInt(2) << "vez:track:EFA:BEF:EF:185#2";
        QTest::newRow("negative") << "" << OptInt(-5) << OptInt(-1) << "vez:track:A:B::-5#-1";
        QTest::newRow("escapes") << ":#% ;?/é" << OptInt() << OptInt()
                                 << "vez:track:%3A%23%25%20%3B%3F/%C3%A9A:B%3A%23%25%20%3B%3F/%C3%A9:"
                                    "%3A%23%25%20%3B%3F/%C3%A9";
        QTest::newRow("allowed punctuation") << "@!$&'()*+,-./=_~" << OptInt() << OptInt()
                                             << "vez:track:@!$&'()*+,-./=_~A:B@!$&'()*+,-./=_~:@!$&'()*+,-./=_~";
        for (const QString text : {":", "#", "%", " ", "é", "\U0001F3B5"}) {
            QTest::addRow("'%s'", qPrintable(text)) << text << OptInt() << OptInt() << QString();
            QTest::addRow("'%s' with duration and index", qPrintable(text))
                << text << OptInt(240) << OptInt(0) << QString();
        }
    }

    void trackRefConstructor()
    {
        QFETCH(QString, text);
        QFETCH(OptInt, duration);
        QFETCH(OptInt, index);
        QFETCH(QString, uri);
        const TrackRef ref(text + "A", "B" + text, text, duration, index);
        if (!uri.isEmpty())
            QCOMPARE(ref.uri(), uri);
        QCOMPARE(ref.description(), ref.uri());
        const QStringList fields{text + "A", "B" + text, text, number(duration), number(index)};
        QVERIFY(views(ref).startsWith("track|"));
        QCOMPARE(views(ref).section(u'|', 2), fields.join(u'|'));
        QCOMPARE(TrackRef(ref.uri()), ref);
    }

    void trackRefViews_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("views");

        QTest::newRow("empty fields") << "vez:track:::"
                                      << "track|::|||||";
        QTest::newRow("empty fields with duration") << "vez:track::::185"
                                                    << "track|:::185||||185|";
        QTest::newRow("no third piece") << "vez:track"
                                        << "track||||||";
        QTest::newRow("full") << "vez:track:AB:CD:EF:185#2"
                              << "track|AB:CD:EF:185|AB|CD|EF|185|2";
        QTest::newRow("raw colon in title") << "vez:track:a:b:c:d:99"
                                            << "track|a:b:c:d:99|a|b|c||";
        QTest::newRow("duration abc") << "vez:track:a:b:c:abc"
                                      << "track|a:b:c:abc|a|b|c||";
        QTest::newRow("duration +5") << "vez:track:a:b:c:+5"
                                     << "track|a:b:c:+5|a|b|c|5|";
        QTest::newRow("overflow") << "vez:track:::x:9223372036854775808"
                                  << "track|::x:9223372036854775808|||x||";
        QTest::newRow("index minimum") << "vez:track:::#-9223372036854775808"
                                       << "track|::|||||-9223372036854775808";
        QTest::newRow("duration -5, more pieces") << "vez:track:a:b:c:-5:x"
                                                  << "track|a:b:c:-5:x|a|b|c|-5|";
        QTest::newRow("duration not decoded") << "vez:track:a:b:c:%31"
                                              << "track|a:b:c:%31|a|b|c||";
        QTest::newRow("sub-track 007") << "vez:track:a:b:c#007"
                                       << "track|a:b:c|a|b|c||7";
        QTest::newRow("sub-track 1#2") << "vez:track:a:b:c#1#2"
                                       << "track|a:b:c|a|b|c||";
        QTest::newRow("hash ends the head") << "vez:track:a:b:c:12#3:4"
                                            << "track|a:b:c:12|a|b|c|12|";
        QTest::newRow("leading colon") << ":track:a:b:c"
                                       << "a|b:c|||||";
        QTest::newRow("scheme is case-sensitive") << "vez:Track:a:b:c:5"
                                                  << "Track|a:b:c:5|||||";
        QTest::newRow("decoding") << "vez:track:%C3%A9:%c3%a9:a+b%3A"
                                  << "track|%C3%A9:%c3%a9:a+b%3A|é|é|a+b:||";
        QTest::newRow("broken escapes") << "vez:track:100%:%4:%G1"
                                        << "track|100%:%4:%G1|100%|%4|%G1||";
        QTest::newRow("not UTF-8") << "vez:track:%FF:%C0%AF:%ED%A0%80"
                                   << "track|%FF:%C0%AF:%ED%A0%80|%FF|%C0%AF|%ED%A0%80||";
        QTest::newRow("UTF-8 limits") << "vez:track:%E2%82:%F4%90%80%80:%F4%8F%BF%BF"
                                      << "track|%E2%82:%F4%90%80%80:%F4%8F%BF%BF|%E2%82|%F4%90%80%80|\U0010FFFF||";
    }

    void trackRefViews()
    {
        QFETCH(QString, uri);
        const TrackRef ref(uri);
        QTEST(views(ref), "views");
        QCOMPARE(ref.uri(), uri);
    }

    void damagedTextIsStillSplitSafely()
    {
        // A lone surrogate (from a damaged tag) has no UTF-8 form: the field is
        // still written percent-encoded, so its ':' and '#' never break the split.
        const TrackRef ref(QStringLiteral("x:y#z") + QChar(0xD800), QStringLiteral("b"), QStringLiteral("c"), 10, 1);
        QVERIFY(std::all_of(ref.uri().begin(), ref.uri().end(), [](QChar c) { return c.unicode() < 0x80; }));
        QVERIFY(views(ref).startsWith("track|"));
        QVERIFY(ref.artist().startsWith(QStringLiteral("x:y#z")));
        QCOMPARE(views(ref).section(u'|', 3), QStringLiteral("b|c|10|1"));
    }

    void equalityAndJson()
    {
        // Exact text: equal track texts do not make equal references.
        const TrackRef upper(QStringLiteral("vez:track:a:b:c%3Ad"));
        const TrackRef lower(QStringLiteral("vez:track:a:b:c%3ad"));
        QCOMPARE(upper.track(), lower.track());
        QVERIFY(upper != lower);
        QCOMPARE(QSet<TrackRef>({upper, lower, TrackRef(upper.uri())}).size(), 2);

        const TrackRef ref("a b", "c", "d", 5, 1);
        QCOMPARE(ref.toJson(), QJsonObject({{"uri", "vez:track:a%20b:c:d:5#1"}}));
        QCOMPARE(TrackRef::fromJson(ref.toJson()), ref);
        QCOMPARE(TrackRef::fromJson(QJsonObject{{"uri", "not a uri"}}).uri(), QStringLiteral("not a uri"));
        for (const char* json : {R"({"url":"vez:track:a:b:c"})", R"({"uri":5})", R"({"uri":null})", "{}"})
            QVERIFY_THROWS_EXCEPTION(JsonDecodingError, TrackRef::fromJson(QJsonDocument::fromJson(json).object()));
    }

    void pathExtensions_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("extension");
        QTest::newRow("plain") << "/music/a/Song.FLAC"
                               << "FLAC";
        QTest::newRow("hidden file with extension") << "/music/.hidden.mp3"
                                                    << "mp3";
        QTest::newRow("dot in a folder only") << "/music.d/README"
                                              << "";
        QTest::newRow("only a leading dot") << "/music/.mp3"
                                            << "";
        QTest::newRow("trailing slash") << "/music/album.zip/"
                                        << "zip";
    }

    void pathExtensions()
    {
        QFETCH(QString, path);
        QTEST(pathExtension(path), "extension");
    }

    void pcmValues()
    {
        using Channels = std::vector<std::vector<float>>;
        QCOMPARE(PCMBuffer(AudioFormat::cdQuality(), {}).frameCount(), 0);
        QVERIFY(PCMBuffer::silence(AudioFormat::cdQuality(), 0).channelData == Channels(2));
        const PCMBuffer silence = PCMBuffer::silence(AudioFormat(48000, 3, 4, false), 100);
        QVERIFY(silence.channelData == Channels(3, std::vector(100, 0.0f)));
        // The frame count is the first channel's length, whatever the others hold.
        QCOMPARE(PCMBuffer(AudioFormat::cdQuality(), {{1, 2, 3}, {1}}).frameCount(), 3);

        QCOMPARE(AudioFormat::cdQuality(), AudioFormat(44100.0, 2, 4, false));
        QVERIFY(AudioFormat::cdQuality() != AudioFormat(44100.0, 2, 4, true));

        QCOMPARE(TransportState::idle().position(), 0.0);
        QCOMPARE(TransportState::paused(3.5).position(), 3.5);
        QVERIFY(!TransportState::paused(3.5).isPlaying() && TransportState::playing(3.5).isPlaying());
        QVERIFY(TransportState::paused(3.5) != TransportState::playing(3.5)
                && TransportState::paused(3.5) != TransportState::paused(3.6));

        const QByteArray cd = QJsonDocument(AudioFormat::cdQuality().toJson()).toJson();
        QCOMPARE(AudioFormat::fromJson(QJsonDocument::fromJson(cd).object()), AudioFormat::cdQuality());
    }

    void bufferStreams()
    {
        const PCMBuffer buffer = PCMBuffer::silence(AudioFormat::cdQuality(), 1);
        int ends = 0;
        auto pulling = [&] {
            return std::make_unique<PullPcmBufferStream>([&](std::stop_token) { return std::optional(buffer); },
                                                         [&] { ++ends; });
        };
        std::stop_source running;
        std::stop_source stopped;
        stopped.request_stop();

        // Destroyed mid-stream, a pull stream runs its end action once.
        QVERIFY(pulling()->next(running.get_token()));
        QCOMPARE(ends, 1);
        // After a stop request a stream stays finished.
        std::vector<PcmBufferStreamPtr> streams;
        streams.push_back(pulling());
        streams.push_back(std::make_unique<VectorPcmBufferStream>(std::vector(3, buffer)));
        for (const PcmBufferStreamPtr& stream : streams) {
            QVERIFY(stream->next(running.get_token()));
            QVERIFY(!stream->next(stopped.get_token()));
            QVERIFY(!stream->next(running.get_token()));
        }
        streams.clear();
        QCOMPARE(ends, 2);
    }
};

QTEST_GUILESS_MAIN(ValuesTest)
#include "tst_values.moc"
