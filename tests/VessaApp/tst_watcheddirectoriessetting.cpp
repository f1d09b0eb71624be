#include "Vessa/App/WatchedDirectoriesSetting.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace vessa;

namespace {

// Stores `value` under "watchedDirectories" in a settings file and loads the
// folders through a fresh settings object, as the next launch would.
QStringList storedAndLoaded(const QVariant& value)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("settings.ini"));
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue(WatchedDirectoriesSetting::settingsKey, value);
    }
    const QSettings settings(file, QSettings::IniFormat);
    return WatchedDirectoriesSetting::load(settings);
}

} // namespace

class WatchedDirectoriesSettingTest : public QObject {
    Q_OBJECT

private slots:
    void normalized_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("clean") << "/music/a"
                               << "/music/a";
        QTest::newRow("trailing slash") << "/music/a/"
                                        << "/music/a";
        QTest::newRow("dot and double slash") << "/music/./b//a"
                                              << "/music/b/a";
        QTest::newRow("dot dot") << "/music/b/../a"
                                 << "/music/a";
        QTest::newRow("spaces and non-ASCII kept") << "/Mus ik/Ørsted"
                                                   << "/Mus ik/Ørsted";
        QTest::newRow("relative") << "music/a"
                                  << "";
        QTest::newRow("empty") << ""
                               << "";
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
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("settings.ini"));
        {
            QSettings settings(file, QSettings::IniFormat);
            WatchedDirectoriesSetting::save(settings, folders);
        }
        const QSettings settings(file, QSettings::IniFormat);
        QCOMPARE(WatchedDirectoriesSetting::load(settings), folders);
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
        QCOMPARE(storedAndLoaded(stored), expected);
    }
};

QTEST_GUILESS_MAIN(WatchedDirectoriesSettingTest)
#include "tst_watcheddirectoriessetting.moc"
