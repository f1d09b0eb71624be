#include "Vessa/App/Library/WatchedDirectoriesSetting.h"
#include "tests/support/SettingsRoundTrip.h"

#include <QtTest>

using namespace vessa;
using namespace Qt::StringLiterals;
using vessa::test::settingsRoundTrip;
using vessa::test::storedAndRead;

class WatchedDirectoriesSettingTest : public QObject {
    Q_OBJECT

private slots:
    void normalized_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("clean") << u"/music/a"_s << u"/music/a"_s;
        QTest::newRow("trailing slash") << u"/music/a/"_s << u"/music/a"_s;
        QTest::newRow("dot and double slash") << u"/music/./b//a"_s << u"/music/b/a"_s;
        QTest::newRow("dot dot") << u"/music/b/../a"_s << u"/music/a"_s;
        QTest::newRow("spaces and non-ASCII kept") << u"/Mus ik/Ørsted"_s << u"/Mus ik/Ørsted"_s;
        QTest::newRow("relative") << u"music/a"_s << QString();
        QTest::newRow("empty") << u""_s << QString();
    }
    void normalized()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(WatchedDirectoriesSetting::normalized(path), expected);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QStringList>("folders");
        QTest::newRow("none") << QStringList();
        QTest::newRow("one") << QStringList{"/music/a"};
        QTest::newRow("in the order added, with a comma and a missing drive")
            << QStringList{"/music/z", "/media/usb/Songs, live", "/music/a"};
    }
    void roundTrip()
    {
        QFETCH(QStringList, folders);
        const auto save = [&](QSettings& settings) { WatchedDirectoriesSetting::save(settings, folders); };
        QCOMPARE(settingsRoundTrip(save, WatchedDirectoriesSetting::load), folders);
    }

    void malformedElementsAreSkippedOneByOne_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("relative, empty and repeated elements")
            << QVariant(QStringList{"/music/a", "relative/b", "", "/music/a/", "/music/c"})
            << QStringList{"/music/a", "/music/c"};
        QTest::newRow("elements that are not texts") << QVariant(QVariantList{
            QStringLiteral("/music/a"), QVariantList{1, 2}, QVariantMap{{"k", 1}}, QStringLiteral("/music/b")})
                                                     << QStringList{"/music/a", "/music/b"};
        QTest::newRow("a single text") << QVariant(QStringLiteral("/music/a")) << QStringList{"/music/a"};
        QTest::newRow("a map") << QVariant(QVariantMap{{"a", QStringLiteral("/music/a")}}) << QStringList();
        QTest::newRow("nothing stored") << QVariant() << QStringList();
    }
    void malformedElementsAreSkippedOneByOne()
    {
        QFETCH(QVariant, stored);
        QFETCH(QStringList, expected);
        QCOMPARE(storedAndRead(WatchedDirectoriesSetting::settingsKey, stored, WatchedDirectoriesSetting::load),
                 expected);
    }
};

QTEST_GUILESS_MAIN(WatchedDirectoriesSettingTest)
#include "tst_watcheddirectoriessetting.moc"
