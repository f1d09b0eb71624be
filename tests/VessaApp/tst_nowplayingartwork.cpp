#include "Vessa/App/NowPlaying/NowPlayingArtwork.h"
#include "tests/support/ImageFixture.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace vessa;
using vessa::test::imageBytes;

namespace {

QString pathOf(const std::optional<QString>& url)
{
    return url ? QUrl(*url).toLocalFile() : QString();
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files);
}

} // namespace

class NowPlayingArtworkTest : public QObject {
    Q_OBJECT

private slots:
    void writesEachImageOnceAndKeepsOnlyTheShownOne()
    {
        QTemporaryDir cache;
        NowPlayingArtwork artwork(cache.path());
        QVERIFY(artwork.folder().startsWith(cache.path() + QStringLiteral("/nowplaying-")));
        QSignalSpy changed(&artwork, &NowPlayingArtwork::urlChanged);

        const QByteArray jpeg = imageBytes(Qt::red, "JPG");
        artwork.show(jpeg);
        QVERIFY(!artwork.url()); // written on a worker
        QTRY_VERIFY(artwork.url());
        const QString first = pathOf(artwork.url());
        QVERIFY(artwork.url()->startsWith(QStringLiteral("file://")));
        QCOMPARE(QFileInfo(first).suffix(), QStringLiteral("png"));
        QImage written(first, "PNG");
        QCOMPARE(written.size(), QSize(8, 6));
        const QColor pixel(written.pixel(0, 0)); // JPEG is lossy
        QVERIFY(pixel.red() > 200 && pixel.blue() < 60);

        const int changes = changed.size();
        artwork.show(QByteArray(jpeg)); // equal bytes: nothing happens
        QCOMPARE(changed.size(), changes);
        QCOMPARE(pathOf(artwork.url()), first);

        artwork.show(imageBytes(Qt::blue, "PNG"));
        QTRY_VERIFY(artwork.url());
        QVERIFY(pathOf(artwork.url()) != first); // named by the bytes
        QCOMPARE(filesIn(artwork.folder()), QStringList{QFileInfo(pathOf(artwork.url())).fileName()});

        artwork.show(QByteArray("not an image"));
        QVERIFY(!artwork.url());
        QTRY_VERIFY(filesIn(artwork.folder()).isEmpty());
        artwork.show(QByteArray());
        QVERIFY(!artwork.url());
    }

    void quickChangesEndWithTheLastBytes()
    {
        QTemporaryDir cache;
        NowPlayingArtwork artwork(cache.path());
        const QByteArray a = imageBytes(Qt::green, "PNG");
        const QByteArray b = imageBytes(Qt::yellow, "PNG");
        for (const QByteArray& bytes : {a, b, a, b, a})
            artwork.show(bytes);
        QTRY_VERIFY(artwork.url());
        QCOMPARE(QImage(pathOf(artwork.url())).pixel(0, 0), QColor(Qt::green).rgb());
        QTRY_COMPARE(filesIn(artwork.folder()).size(), 1);
    }

    void everythingGoesAtTheEnd()
    {
        QTemporaryDir cache;
        // A folder left by a process that is gone, and one of a live process.
        const QString gone = cache.filePath(QStringLiteral("nowplaying-2147483646"));
        const QString live = cache.filePath(QStringLiteral("nowplaying-1"));
        QVERIFY(QDir().mkpath(gone) && QDir().mkpath(live));
        QString folder;
        {
            NowPlayingArtwork artwork(cache.path());
            QVERIFY(!QFileInfo::exists(gone));
            QVERIFY(QFileInfo::exists(live));
            folder = artwork.folder();
            artwork.show(imageBytes(Qt::black, "PNG"));
            QTRY_VERIFY(artwork.url());
            artwork.show(imageBytes(Qt::white, "PNG")); // still being written when it goes
        }
        QVERIFY(!QFileInfo::exists(folder));
    }
};

QTEST_GUILESS_MAIN(NowPlayingArtworkTest)
#include "tst_nowplayingartwork.moc"
