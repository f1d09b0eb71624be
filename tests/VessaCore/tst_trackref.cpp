#include "VessaCore/Error.h"
#include "VessaCore/TrackRef.h"

#include <QJsonDocument>
#include <QSet>
#include <QtTest>

using vessa::TrackRef;

using OptInt = std::optional<qint64>;
Q_DECLARE_METATYPE(OptInt)

class TrackRefTest : public QObject {
    Q_OBJECT

private slots:
    void constructorWritesUri_data();
    void constructorWritesUri();
    void views_data();
    void views();
    void roundTrips_data();
    void roundTrips();
    void damagedTextIsStillSplitSafely();
    void equalityIsExactText();
    void json();
    void jsonDecodeFailures_data();
    void jsonDecodeFailures();
};

void TrackRefTest::constructorWritesUri_data()
{
    QTest::addColumn<QString>("artist");
    QTest::addColumn<QString>("album");
    QTest::addColumn<QString>("track");
    QTest::addColumn<OptInt>("duration");
    QTest::addColumn<OptInt>("index");
    QTest::addColumn<QString>("uri");

    QTest::newRow("full") << "AB" << "CD" << "EF" << OptInt(185) << OptInt(2) << "vez:track:AB:CD:EF:185#2";
    QTest::newRow("plain") << "AB" << "CD" << "EF" << OptInt() << OptInt() << "vez:track:AB:CD:EF";
    QTest::newRow("empty") << "" << "" << "" << OptInt() << OptInt() << "vez:track:::";
    QTest::newRow("empty with duration") << "" << "" << "" << OptInt(185) << OptInt() << "vez:track::::185";
    QTest::newRow("negative") << "a" << "b" << "c" << OptInt(-5) << OptInt(-1) << "vez:track:a:b:c:-5#-1";
    QTest::newRow("escapes") << "a b" << "x:y#z" << "100%;?/é" << OptInt() << OptInt()
                             << "vez:track:a%20b:x%3Ay%23z:100%25%3B%3F/%C3%A9";
    QTest::newRow("allowed punctuation") << "@!$&'()*+,-./=_~" << "" << "" << OptInt() << OptInt()
                                         << "vez:track:@!$&'()*+,-./=_~::";
    QTest::newRow("astral") << QString::fromUtf8("\xF0\x9F\x8E\xB5") << "" << "" << OptInt() << OptInt()
                            << "vez:track:%F0%9F%8E%B5::";
}

void TrackRefTest::constructorWritesUri()
{
    QFETCH(QString, artist);
    QFETCH(QString, album);
    QFETCH(QString, track);
    QFETCH(OptInt, duration);
    QFETCH(OptInt, index);
    QFETCH(QString, uri);
    const TrackRef ref(artist, album, track, duration, index);
    QCOMPARE(ref.uri(), uri);
    QCOMPARE(ref.description(), uri);
}

void TrackRefTest::views_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<QString>("artist");
    QTest::addColumn<QString>("album");
    QTest::addColumn<QString>("track");
    QTest::addColumn<OptInt>("duration");
    QTest::addColumn<OptInt>("index");

    QTest::newRow("empty fields") << "vez:track:::" << "track" << "::" << "" << "" << "" << OptInt() << OptInt();
    QTest::newRow("empty fields with duration")
        << "vez:track::::185" << "track" << ":::185" << "" << "" << "" << OptInt(185) << OptInt();
    QTest::newRow("no third piece") << "vez:track" << "track" << "" << "" << "" << "" << OptInt() << OptInt();
    QTest::newRow("trailing colon") << "vez:track:" << "track" << "" << "" << "" << "" << OptInt() << OptInt();
    QTest::newRow("full") << "vez:track:AB:CD:EF:185#2" << "track" << "AB:CD:EF:185" << "AB" << "CD" << "EF"
                          << OptInt(185) << OptInt(2);
    QTest::newRow("raw colon in title shifts pieces")
        << "vez:track:a:b:c:d:99" << "track" << "a:b:c:d:99" << "a" << "b" << "c" << OptInt() << OptInt();
    QTest::newRow("encoded colon") << "vez:track:a:b:c%3Ad" << "track" << "a:b:c%3Ad" << "a" << "b" << "c:d"
                                   << OptInt() << OptInt();
    QTest::newRow("duration abc") << "vez:track:a:b:c:abc" << "track" << "a:b:c:abc" << "a" << "b" << "c"
                                  << OptInt() << OptInt();
    QTest::newRow("duration 5.0") << "vez:track:a:b:c:5.0" << "track" << "a:b:c:5.0" << "a" << "b" << "c"
                                  << OptInt() << OptInt();
    QTest::newRow("duration with space") << "vez:track:a:b:c: 5" << "track" << "a:b:c: 5" << "a" << "b" << "c"
                                         << OptInt() << OptInt();
    QTest::newRow("duration +5") << "vez:track:a:b:c:+5" << "track" << "a:b:c:+5" << "a" << "b" << "c"
                                 << OptInt(5) << OptInt();
    QTest::newRow("duration -5") << "vez:track:a:b:c:-5" << "track" << "a:b:c:-5" << "a" << "b" << "c"
                                 << OptInt(-5) << OptInt();
    QTest::newRow("duration overflow") << "vez:track:a:b:c:9223372036854775808" << "track"
                                       << "a:b:c:9223372036854775808" << "a" << "b" << "c" << OptInt() << OptInt();
    QTest::newRow("duration minimum") << "vez:track:a:b:c:-9223372036854775808" << "track"
                                      << "a:b:c:-9223372036854775808" << "a" << "b" << "c"
                                      << OptInt(std::numeric_limits<qint64>::min()) << OptInt();
    QTest::newRow("pieces after the fourth ignored")
        << "vez:track:a:b:c:7:x:y" << "track" << "a:b:c:7:x:y" << "a" << "b" << "c" << OptInt(7) << OptInt();
    QTest::newRow("sub-track 2") << "vez:track:a:b:c#2" << "track" << "a:b:c" << "a" << "b" << "c" << OptInt()
                                 << OptInt(2);
    QTest::newRow("sub-track 007") << "vez:track:a:b:c#007" << "track" << "a:b:c" << "a" << "b" << "c"
                                   << OptInt() << OptInt(7);
    QTest::newRow("sub-track -1") << "vez:track:a:b:c#-1" << "track" << "a:b:c" << "a" << "b" << "c" << OptInt()
                                  << OptInt(-1);
    QTest::newRow("sub-track empty") << "vez:track:a:b:c#" << "track" << "a:b:c" << "a" << "b" << "c"
                                     << OptInt() << OptInt();
    QTest::newRow("sub-track x") << "vez:track:a:b:c#x" << "track" << "a:b:c" << "a" << "b" << "c" << OptInt()
                                 << OptInt();
    QTest::newRow("sub-track 1#2") << "vez:track:a:b:c#1#2" << "track" << "a:b:c" << "a" << "b" << "c"
                                   << OptInt() << OptInt();
    QTest::newRow("hash never reaches the head")
        << "vez:track:a:b:c:12#3:4" << "track" << "a:b:c:12" << "a" << "b" << "c" << OptInt(12) << OptInt();
    QTest::newRow("hash inside the scheme") << "vez:tra#ck:a:b:c" << "tra" << "" << "" << "" << "" << OptInt()
                                            << OptInt();
    QTest::newRow("leading colon") << ":track:a:b:c" << "a" << "b:c" << "" << "" << "" << OptInt() << OptInt();
    QTest::newRow("other scheme") << "vez:album:a:b:c:5" << "album" << "a:b:c:5" << "" << "" << "" << OptInt()
                                  << OptInt();
    QTest::newRow("scheme is case-sensitive") << "vez:Track:a:b:c:5" << "Track" << "a:b:c:5" << "" << ""
                                              << "" << OptInt() << OptInt();
    QTest::newRow("one word") << "vez" << "" << "" << "" << "" << "" << OptInt() << OptInt();
    QTest::newRow("empty uri") << "" << "" << "" << "" << "" << "" << OptInt() << OptInt();
    QTest::newRow("hand-written 100%") << "vez:track:100%:b:c" << "track" << "100%:b:c" << "100%" << "b" << "c"
                                       << OptInt() << OptInt();
    QTest::newRow("%C3%A9 decodes") << "vez:track:%C3%A9:b:c" << "track" << "%C3%A9:b:c" << "é" << "b" << "c"
                                    << OptInt() << OptInt();
    QTest::newRow("lower-case escape") << "vez:track:%c3%a9:b:c" << "track" << "%c3%a9:b:c" << "é" << "b"
                                       << "c" << OptInt() << OptInt();
    QTest::newRow("%FF is not UTF-8") << "vez:track:%FF:b:c" << "track" << "%FF:b:c" << "%FF" << "b" << "c"
                                      << OptInt() << OptInt();
    QTest::newRow("plus stays plus") << "vez:track:a+b:b:c" << "track" << "a+b:b:c" << "a+b" << "b" << "c"
                                     << OptInt() << OptInt();
    QTest::newRow("duration piece not decoded") << "vez:track:a:b:c:%31" << "track" << "a:b:c:%31" << "a"
                                                << "b" << "c" << OptInt() << OptInt();
}

void TrackRefTest::views()
{
    QFETCH(QString, uri);
    const TrackRef ref(uri);
    QCOMPARE(ref.uri(), uri);
    QTEST(ref.scheme(), "scheme");
    QTEST(ref.identifier(), "identifier");
    QTEST(ref.artist(), "artist");
    QTEST(ref.album(), "album");
    QTEST(ref.track(), "track");
    QTEST(ref.durationHint(), "duration");
    QTEST(ref.subTrackIndex(), "index");
}

void TrackRefTest::roundTrips_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<OptInt>("duration");
    QTest::addColumn<OptInt>("index");

    const QStringList texts = {":", "#", "%", " ", "é", "a:b#c%d e", "::##%%", "日本語", "%41"};
    for (const QString& text : texts) {
        QTest::addRow("'%s' plain", qPrintable(text)) << text << OptInt() << OptInt();
        QTest::addRow("'%s' duration", qPrintable(text)) << text << OptInt(240) << OptInt();
        QTest::addRow("'%s' index", qPrintable(text)) << text << OptInt() << OptInt(3);
        QTest::addRow("'%s' both", qPrintable(text)) << text << OptInt(240) << OptInt(0);
    }
}

void TrackRefTest::roundTrips()
{
    QFETCH(QString, text);
    QFETCH(OptInt, duration);
    QFETCH(OptInt, index);
    const TrackRef ref(text + "A", "B" + text, text, duration, index);
    QCOMPARE(ref.scheme(), QStringLiteral("track"));
    QCOMPARE(ref.artist(), text + "A");
    QCOMPARE(ref.album(), "B" + text);
    QCOMPARE(ref.track(), text);
    QCOMPARE(ref.durationHint(), duration);
    QCOMPARE(ref.subTrackIndex(), index);
    // Rebuilt from its text, a reference is the same reference.
    QCOMPARE(TrackRef(ref.uri()), ref);
}

void TrackRefTest::damagedTextIsStillSplitSafely()
{
    // A lone surrogate (from a damaged tag) cannot be UTF-8: the field is still
    // written percent-encoded, so its ':' and '#' never break the split.
    QString damaged = QStringLiteral("x:y#z");
    damaged.append(QChar(0xD800));
    const TrackRef ref(damaged, QStringLiteral("album"), QStringLiteral("title"), 10, 1);
    for (const QChar c : ref.uri())
        QVERIFY(c.unicode() < 0x80);
    QCOMPARE(ref.album(), QStringLiteral("album"));
    QCOMPARE(ref.track(), QStringLiteral("title"));
    QCOMPARE(ref.durationHint(), OptInt(10));
    QCOMPARE(ref.subTrackIndex(), OptInt(1));
    QVERIFY(ref.artist().startsWith(QStringLiteral("x:y#z")));
}

void TrackRefTest::equalityIsExactText()
{
    const TrackRef upper(QStringLiteral("vez:track:a:b:c%3Ad"));
    const TrackRef lower(QStringLiteral("vez:track:a:b:c%3ad"));
    QCOMPARE(upper.track(), lower.track());
    QVERIFY(upper != lower);
    QCOMPARE(TrackRef("a", "b", "c"), TrackRef(QStringLiteral("vez:track:a:b:c")));
    QCOMPARE(qHash(TrackRef("a", "b", "c")), qHash(TrackRef(QStringLiteral("vez:track:a:b:c"))));
    const QSet<TrackRef> set{upper, lower, TrackRef(upper.uri())};
    QCOMPARE(set.size(), 2);
}

void TrackRefTest::json()
{
    const TrackRef ref("a b", "c", "d", 5, 1);
    const QJsonObject object = ref.toJson();
    QCOMPARE(object.keys(), QStringList{"uri"});
    QCOMPARE(object.value("uri").toString(), ref.uri());
    QCOMPARE(TrackRef::fromJson(object), ref);
    // The text is taken as it is, without checking its form.
    QCOMPARE(TrackRef::fromJson(QJsonObject{{"uri", "not a uri"}}).uri(), QStringLiteral("not a uri"));
}

void TrackRefTest::jsonDecodeFailures_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("missing key") << QByteArray(R"({"url":"vez:track:a:b:c"})");
    QTest::newRow("number") << QByteArray(R"({"uri":5})");
    QTest::newRow("null") << QByteArray(R"({"uri":null})");
    QTest::newRow("array") << QByteArray(R"({"uri":["vez"]})");
    QTest::newRow("empty object") << QByteArray("{}");
}

void TrackRefTest::jsonDecodeFailures()
{
    QFETCH(QByteArray, json);
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    QVERIFY_THROWS_EXCEPTION(vessa::JsonDecodingError, TrackRef::fromJson(object));
}

QTEST_GUILESS_MAIN(TrackRefTest)
#include "tst_trackref.moc"
