#include "Vessa/App/Updates/AppcastFeed.h"
#include "Vessa/App/Updates/UpdateCheckError.h"
#include "tests/support/FailureText.h"

#include <QtTest>

using namespace vessa;
using namespace Qt::StringLiterals;

namespace {

const QUrl feedAddress("https://updates.example.org/vessa/appcast.xml");

// A feed around `items`, with the namespace prefix "app" for the version
// attributes and elements, and `channelExtra` in the channel.
QByteArray feed(const QString& items, const QString& channelExtra = QString())
{
    const QString head = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                         "<rss version=\"2.0\" xmlns:app=\"urn:example:appcast\" "
                         "xmlns:atom=\"http://www.w3.org/2005/Atom\">\n"
                         "  <channel>\n"
                         "    <title>Vessa</title>";
    return (head + channelExtra + items + "\n  </channel>\n</rss>").toUtf8();
}

QString item(const QString& version, const QString& rest = QString())
{
    return QString(
               R"(<item><title>Vessa %1</title><enclosure url="https://dl.example.org/vessa-%1.tar.gz" app:version="%1"/>%2</item>)")
        .arg(version, rest);
}

QString malformedFeed(const QByteArray& bytes)
{
    return test::failureOf<UpdateCheckError>([&] { AppcastFeed::parse(bytes, feedAddress); });
}

} // namespace

class AppcastFeedTest : public QObject {
    Q_OBJECT

private slots:
    void versionComparison_data()
    {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<int>("order");
        QTest::newRow("numeric, not textual") << u"1.10"_s << u"1.9"_s << 1;
        QTest::newRow("trailing zeros") << u"1.2.0"_s << u"1.2"_s << 0;
        QTest::newRow("more parts, smaller") << u"1.99.99"_s << u"2"_s << -1;
        QTest::newRow("suffix ignored") << u"1.2.0-beta"_s << u"1.2"_s << 0;
        QTest::newRow("spaces around") << u" 3.0 "_s << u"2.9"_s << 1;
        QTest::newRow("zero is a version") << u"0"_s << u"0.0.1"_s << -1;
    }
    void versionComparison()
    {
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(int, order);
        const std::optional<QVersionNumber> a = AppcastFeed::parseVersion(left);
        const std::optional<QVersionNumber> b = AppcastFeed::parseVersion(right);
        QVERIFY(a && b);
        QCOMPARE(qBound(-1, QVersionNumber::compare(*a, *b), 1), order);
    }

    void notVersions()
    {
        for (const char* text : {"", "  ", "v1.2", "beta", "-1", ".5"})
            QVERIFY2(!AppcastFeed::parseVersion(QString::fromUtf8(text)), text);
    }

    void readsItems()
    {
        const QByteArray xml = feed(item("1.2", R"(<description><![CDATA[<p>Faster <b>scans</b>.</p>]]></description>
                           <link>https://example.org/vessa/1.2</link>)")
                                    +
                                    // The element form, a short version for people and a relative page.
                                    R"(<item><title>Two</title><app:version>200</app:version>
                     <app:shortVersionString>2.0</app:shortVersionString>
                     <link>../releases/2.0.html</link><description>Plain notes</description></item>)"
                                    + item("1.9"));
        const AppcastFeed parsed = AppcastFeed::parse(xml, feedAddress);
        QCOMPARE(parsed.items().size(), 3u);

        const AppcastItem& first = parsed.items().at(0);
        QCOMPARE(first.version, QVersionNumber(1, 2));
        QCOMPARE(first.displayVersion, "1.2");
        QCOMPARE(first.title, "Vessa 1.2");
        QCOMPARE(first.notes, "<p>Faster <b>scans</b>.</p>");
        QCOMPARE(first.downloadPage, QUrl("https://example.org/vessa/1.2"));

        const std::optional<AppcastItem> newest = parsed.newest();
        QVERIFY(newest);
        QCOMPARE(newest->version, QVersionNumber(200));
        QCOMPARE(newest->displayVersion, "2.0");
        QCOMPARE(newest->notes, "Plain notes");
        QCOMPARE(newest->downloadPage, QUrl("https://updates.example.org/releases/2.0.html"));
    }

    void downloadPage_data()
    {
        QTest::addColumn<QString>("channelLink");
        QTest::addColumn<QString>("itemLink");
        QTest::addColumn<QUrl>("page");
        const QUrl enclosure("https://dl.example.org/vessa-1.2.tar.gz");
        QTest::newRow("item link first") << u"https://example.org/"_s << u"https://example.org/1.2"_s
                                         << QUrl("https://example.org/1.2");
        QTest::newRow("then the channel's") << u"https://example.org/"_s << u""_s << QUrl("https://example.org/");
        QTest::newRow("then the enclosure") << u""_s << u""_s << enclosure;
        QTest::newRow("no local files") << u""_s << u"file:///etc/passwd"_s << enclosure;
        QTest::newRow("no scripts") << u"javascript:alert(1)"_s << u""_s << enclosure;
    }
    void downloadPage()
    {
        QFETCH(QString, channelLink);
        QFETCH(QString, itemLink);
        QFETCH(QUrl, page);
        // An Atom self link in the channel is not the channel's link.
        const QString channel = R"(<atom:link href="https://example.org/atom" rel="self"/>)"
                                + (channelLink.isEmpty() ? QString() : "<link>" + channelLink + "</link>");
        const QString link = itemLink.isEmpty() ? QString() : "<link>" + itemLink + "</link>";
        const AppcastFeed parsed = AppcastFeed::parse(feed(item("1.2", link), channel), feedAddress);
        QCOMPARE(parsed.newest()->downloadPage, page);
    }

    void itemsWithoutVersionAreLeftOut()
    {
        const AppcastFeed parsed =
            AppcastFeed::parse(feed("<item><title>Old news</title></item>" + item("1.1")), feedAddress);
        QCOMPARE(parsed.items().size(), 1u);
        QCOMPARE(parsed.newest()->displayVersion, "1.1");
    }

    void emptyChannelListsNothing()
    {
        const AppcastFeed parsed = AppcastFeed::parse(feed(QString()), feedAddress);
        QVERIFY(parsed.items().empty());
        QVERIFY(!parsed.newest());
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("description");
        const QString prefix = "The update feed could not be read: ";
        QTest::newRow("empty") << QByteArray(" \n") << prefix + "the server sent an empty answer.";
        QTest::newRow("only a comment") << QByteArray("<!-- nothing -->")
                                        << prefix + "Premature end of document at line 1.";
        QTest::newRow("web page") << QByteArray("<html><body>Moved</body></html>") << prefix + "it is not an RSS feed.";
        QTest::newRow("no channel") << QByteArray("<rss version=\"2.0\"></rss>") << prefix + "it has no channel.";
        QTest::newRow("cut off") << feed(item("1.2")).left(180) << prefix + "Premature end of document at line 4.";
        QTest::newRow("no versions") << feed("<item><title>x</title></item><item/>")
                                     << prefix + "none of its releases names a version.";
        // Nested entities that would grow to gigabytes stop at the reader's limit.
        QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY a \"aaaaaaaaaa\">";
        for (char level = 'b'; level <= 'j'; ++level)
            laughs += QByteArray("<!ENTITY ") + level + " \""
                      + QByteArray(10, '&').replace("&", QByteArray("&") + char(level - 1) + ";") + "\">";
        laughs += "]><rss><channel><item><title>&j;</title></item></channel></rss>";
        QTest::newRow("entity expansion") << laughs << QString();
    }
    void malformed()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, description);
        const QString failure = malformedFeed(bytes);
        if (description.isEmpty())
            QVERIFY2(failure.startsWith("The update feed could not be read: "), qPrintable(failure));
        else
            QCOMPARE(failure, description);
    }
};

QTEST_GUILESS_MAIN(AppcastFeedTest)
#include "tst_appcastfeed.moc"
