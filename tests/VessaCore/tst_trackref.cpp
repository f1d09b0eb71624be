#include "VessaCore/Error.h"
#include "VessaCore/PathExtension.h"
#include "VessaCore/TrackRef.h"

#include <QJsonDocument>
#include <QSet>
#include <QtTest>

using namespace vessa;

using OptInt = std::optional<qint64>;
Q_DECLARE_METATYPE(OptInt)

class TrackRefTest : public QObject {
    Q_OBJECT

private slots:
    void constructor_data()
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
        QTest::newRow("astral") << QString::fromUtf8("\xF0\x9F\x8E\xB5") << OptInt() << OptInt()
                                << "vez:track:%F0%9F%8E%B5A:B%F0%9F%8E%B5:%F0%9F%8E%B5";
        for (const QString text : {":", "#", "%", " ", "é"}) {
            QTest::addRow("'%s'", qPrintable(text)) << text << OptInt() << OptInt() << QString();
            QTest::addRow("'%s' with duration and index", qPrintable(text))
                << text << OptInt(240) << OptInt(0) << QString();
        }
    }

    void constructor()
    {
        QFETCH(QString, text);
        QFETCH(OptInt, duration);
        QFETCH(OptInt, index);
        QFETCH(QString, uri);
        const TrackRef ref(text + "A", "B" + text, text, duration, index);
        if (!uri.isEmpty())
            QCOMPARE(ref.uri(), uri);
        QCOMPARE(ref.description(), ref.uri());
        QCOMPARE(ref.scheme(), QStringLiteral("track"));
        QCOMPARE(ref.artist(), text + "A");
        QCOMPARE(ref.album(), "B" + text);
        QCOMPARE(ref.track(), text);
        QCOMPARE(ref.durationHint(), duration);
        QCOMPARE(ref.subTrackIndex(), index);
        QCOMPARE(TrackRef(ref.uri()), ref);
    }

    void views_data()
    {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("views"); // scheme|identifier|artist|album|track|durationHint|subTrackIndex

        QTest::newRow("empty fields") << "vez:track:::" << "track|::|||||";
        QTest::newRow("empty fields with duration") << "vez:track::::185" << "track|:::185||||185|";
        QTest::newRow("no third piece") << "vez:track" << "track||||||";
        QTest::newRow("trailing colon") << "vez:track:" << "track||||||";
        QTest::newRow("one word") << "vez" << "||||||";
        QTest::newRow("full") << "vez:track:AB:CD:EF:185#2" << "track|AB:CD:EF:185|AB|CD|EF|185|2";
        QTest::newRow("raw colon in title") << "vez:track:a:b:c:d:99" << "track|a:b:c:d:99|a|b|c||";
        QTest::newRow("duration abc") << "vez:track:a:b:c:abc" << "track|a:b:c:abc|a|b|c||";
        QTest::newRow("duration 5.0") << "vez:track:a:b:c:5.0" << "track|a:b:c:5.0|a|b|c||";
        QTest::newRow("duration +5") << "vez:track:a:b:c:+5" << "track|a:b:c:+5|a|b|c|5|";
        QTest::newRow("duration overflow") << "vez:track:::x:9223372036854775808" << "track|::x:9223372036854775808|||x||";
        QTest::newRow("sub-track minimum") << "vez:track:::#-9223372036854775808" << "track|::|||||-9223372036854775808";
        QTest::newRow("duration -5, more pieces") << "vez:track:a:b:c:-5:x" << "track|a:b:c:-5:x|a|b|c|-5|";
        QTest::newRow("duration not decoded") << "vez:track:a:b:c:%31" << "track|a:b:c:%31|a|b|c||";
        QTest::newRow("sub-track 007") << "vez:track:a:b:c#007" << "track|a:b:c|a|b|c||7";
        QTest::newRow("sub-track -1") << "vez:track:a:b:c#-1" << "track|a:b:c|a|b|c||-1";
        QTest::newRow("sub-track empty") << "vez:track:a:b:c#" << "track|a:b:c|a|b|c||";
        QTest::newRow("sub-track 1#2") << "vez:track:a:b:c#1#2" << "track|a:b:c|a|b|c||";
        QTest::newRow("hash ends the head") << "vez:track:a:b:c:12#3:4" << "track|a:b:c:12|a|b|c|12|";
        QTest::newRow("leading colon") << ":track:a:b:c" << "a|b:c|||||";
        QTest::newRow("scheme is case-sensitive") << "vez:Track:a:b:c:5" << "Track|a:b:c:5|||||";
        QTest::newRow("decoding") << "vez:track:%C3%A9:%c3%a9:a+b%3A" << "track|%C3%A9:%c3%a9:a+b%3A|é|é|a+b:||";
        QTest::newRow("broken escapes") << "vez:track:100%:%4:%G1" << "track|100%:%4:%G1|100%|%4|%G1||";
        QTest::newRow("not UTF-8") << "vez:track:%FF:%C0%AF:%ED%A0%80"
                                   << "track|%FF:%C0%AF:%ED%A0%80|%FF|%C0%AF|%ED%A0%80||";
        QTest::newRow("UTF-8 limits") << "vez:track:%E2%82:%F4%90%80%80:%F4%8F%BF%BF"
                                      << "track|%E2%82:%F4%90%80%80:%F4%8F%BF%BF|%E2%82|%F4%90%80%80|\U0010FFFF||";
    }

    void views()
    {
        QFETCH(QString, uri);
        const TrackRef ref(uri);
        const auto number = [](OptInt value) { return value ? QString::number(*value) : QString(); };
        const QStringList views{ref.scheme(), ref.identifier(), ref.artist(), ref.album(), ref.track(),
                                number(ref.durationHint()), number(ref.subTrackIndex())};
        QTEST(views.join(u'|'), "views");
        QCOMPARE(ref.uri(), uri);
    }

    void damagedTextIsStillSplitSafely()
    {
        // A lone surrogate (from a damaged tag) has no UTF-8 form: the field is
        // still written percent-encoded, so its ':' and '#' never break the split.
        const TrackRef ref(QStringLiteral("x:y#z") + QChar(0xD800), QStringLiteral("b"), QStringLiteral("c"), 10, 1);
        QVERIFY(std::all_of(ref.uri().begin(), ref.uri().end(), [](QChar c) { return c.unicode() < 0x80; }));
        QVERIFY(ref.artist().startsWith(QStringLiteral("x:y#z")));
        QCOMPARE(ref.album() + ref.track(), QStringLiteral("bc"));
        QCOMPARE(ref.durationHint(), OptInt(10));
        QCOMPARE(ref.subTrackIndex(), OptInt(1));
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
        QTest::newRow("plain") << "/music/a/Song.FLAC" << "FLAC";
        QTest::newRow("two dots") << "/x/archive.tar.gz" << "gz";
        QTest::newRow("dot in a folder only") << "/music.d/README" << "";
        QTest::newRow("only a leading dot") << "/music/.mp3" << "";
        QTest::newRow("hidden file with extension") << "/music/.hidden.mp3" << "mp3";
        QTest::newRow("trailing dot") << "/music/song." << "";
        QTest::newRow("trailing slash") << "/music/album.zip/" << "zip";
        QTest::newRow("root") << "/" << "";
    }

    void pathExtensions()
    {
        QFETCH(QString, path);
        QTEST(pathExtension(path), "extension");
    }
};

QTEST_GUILESS_MAIN(TrackRefTest)
#include "tst_trackref.moc"
