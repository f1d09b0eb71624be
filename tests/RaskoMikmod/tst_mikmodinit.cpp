#include "RaskoMikmod/MikmodDecoderPlugin.h"
#include "RaskoMikmod/MikmodError.h"
#include "RaskoMikmod/MikmodLibrary.h"
#include "RaskoMikmod/mikmod_buffer_driver.h"
#include "tests/support/ModFixture.h"

#include <QtTest>

#include <mikmod.h>

using namespace vessa;
using vessa::test::ModFixture;

// libmikmod is initialised once per process, so the first initialisation of
// this test program is the one that fails.
class MikmodInitTest : public QObject {
    Q_OBJECT

private slots:
    void failedInitialisationIsRetried();
};

void MikmodInitTest::failedInitialisationIsRetried()
{
    {
        std::lock_guard guard(MikmodLibrary::lock());
        md_device = 99; // no such driver: MikMod_Init fails
    }
    MikmodDecoderPlugin plugin;
    const SourceLocator locator = SourceLocator::data(ModFixture::song(1).bytes());

    // Each attempt initialises again (registering nothing twice, which would hang).
    for (int attempt = 0; attempt < 3; ++attempt) {
        try {
            if (attempt == 1)
                plugin.extract(locator, std::nullopt);
            else
                plugin.open(locator, std::nullopt);
            QFAIL("the library initialised");
        } catch (const MikmodError& error) {
            QCOMPARE(error.kind(), MikmodError::Kind::initFailed);
            std::lock_guard guard(MikmodLibrary::lock());
            QVERIFY(MikMod_errno != 0);
            QCOMPARE(error.description(),
                     QStringLiteral("Failed to initialize libmikmod: ") + QString::fromUtf8(MikMod_strerror(MikMod_errno)));
            QVERIFY(!mikmod_buffer_get_data());
        }
    }

    {
        std::lock_guard guard(MikmodLibrary::lock());
        md_device = 0; // pick the first driver that is present: the only one registered
    }
    QCOMPARE(plugin.extract(locator, std::nullopt).title, std::optional<QString>(QStringLiteral("Fixture")));
    {
        // Initialised, nothing rendered yet.
        std::lock_guard guard(MikmodLibrary::lock());
        QVERIFY(mikmod_buffer_get_data());
        QCOMPARE(mikmod_buffer_get_length(), 0u);
        QCOMPARE(QString::fromUtf8(md_driver->Name), QStringLiteral("Buffer"));
        QVERIFY(md_driver->IsPresent());
    }

    AudioStream stream = plugin.open(locator, std::nullopt);
    std::stop_source source;
    qint64 frames = 0;
    while (std::optional<PCMBuffer> buffer = stream.buffers->next(source.get_token())) {
        QCOMPARE(buffer->frameCount(), qint64(8192));
        frames += buffer->frameCount();
        QVERIFY(frames < 4 * ModFixture::patternFrames());
        std::lock_guard guard(MikmodLibrary::lock());
        QCOMPARE(mikmod_buffer_get_length(), 32768u);
    }
    QVERIFY(frames >= ModFixture::patternFrames());
}

QTEST_GUILESS_MAIN(MikmodInitTest)
#include "tst_mikmodinit.moc"
