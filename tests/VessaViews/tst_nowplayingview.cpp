// The now-playing bar over a real app state (a temporary home, SDL's dummy
// output, the session bus of dbus-run-session): the three track-info forms,
// the star, the transport toggles, the volume with its mute and as the
// desktop sets it, the scrubber and the "Playback Error" alert.

#include "Oblin/PlayContext.h"
#include "Parvik/PlaylistLibrary.h"
#include "Vessa/App/Library/TrackDragPayload.h"
#include "Vessa/App/NowPlaying/VolumeState.h"
#include "Vessa/App/Playlists/PlaylistDirectory.h"
#include "Vessa/Views/NowPlaying/NowPlayingView.h"
#include "Vessa/Views/NowPlaying/PositionScrubber.h"
#include "Vessa/Views/NowPlaying/ProgressLine.h"
#include "Vessa/Views/NowPlaying/TrackInfoView.h"
#include "Vessa/Views/NowPlaying/VolumeControl.h"
#include "Vessa/Views/Shared/ErrorAlert.h"
#include "VessaCore/Clock.h"
#include "VessaCore/Error.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"
#include "tests/VessaApp/AppStateRig.h"
#include "tests/support/FileFixture.h"
#include "tests/support/ImageFixture.h"
#include "tests/support/Playerctl.h"
#include "tests/support/TextError.h"

#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <cmath>

using namespace vessa;
using namespace vessa::test;

namespace {

QList<QMessageBox*> shownBoxes(const QWidget& view)
{
    QList<QMessageBox*> shown;
    for (QMessageBox* box : view.window()->findChildren<QMessageBox*>()) {
        if (box->isVisible())
            shown << box;
    }
    return shown;
}

} // namespace

class NowPlayingViewTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AppStateRig> m_rig;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<NowPlayingView> m_view;
    const TrackRef m_track{QStringLiteral("Band"), QStringLiteral("Record"), QStringLiteral("Song"), 200};

    PlayContext& context() const { return m_state->playContext(); }
    void makeCurrent(const TrackRef& track) const
    {
        context().setQueue({track});
        context().setCurrentIndex(0);
    }

    // Scans a library of one 30-second file and plays it with the bar's button.
    bool playThirtySeconds() const
    {
        const QString music = m_rig->folder(QStringLiteral("lib"));
        if (m_rig->writeWav(QStringLiteral("lib/long.wav"), 44100 * 30).isEmpty())
            return false;
        m_state->addWatchedDirectory(music);
        if (!AppStateRig::scanned(*m_state) || m_state->scannedTracks().size() != 1)
            return false;
        QTest::mouseClick(m_view->playPauseButton(), Qt::LeftButton);
        return QTest::qWaitFor([&] { return context().transportState().isPlaying(); }, 10000)
               && QTest::qWaitFor([&] { return context().currentMetadata().has_value(); }, 10000);
    }
    // The slider's point at `fraction` of its width.
    static QPoint sliderPoint(const QSlider& slider, double fraction)
    {
        return QPoint(int(slider.width() * fraction), slider.height() / 2);
    }

private slots:
    void init()
    {
        m_rig = std::make_unique<AppStateRig>();
        m_state = m_rig->start();
        QVERIFY(m_state);
        QTRY_VERIFY(!m_state->playlistLibrary().playlists().isEmpty()); // Starred is loaded
        m_view = std::make_unique<NowPlayingView>(*m_state);
        m_view->resize(800, 120);
        m_view->show();
    }
    void cleanup()
    {
        m_view.reset();
        m_state.reset();
        m_rig.reset();
    }

    void nothingPlaying()
    {
        QCOMPARE(m_view->trackInfo()->form(), NowPlayingFormat::TrackInfoForm::notPlaying);
        QCOMPARE(m_view->trackInfo()->loadingText(), QStringLiteral("Not Playing"));
        QVERIFY(m_view->starButton()->isHidden());
        QVERIFY(!m_view->scrubber()->slider()->isEnabled());
        QCOMPARE(m_view->scrubber()->totalText(), QStringLiteral("0:00"));
        QCOMPARE(m_view->progressLine()->fraction(), 0.0);
        // The buttons work without a track.
        QVERIFY(m_view->playPauseButton()->isEnabled());
    }

    void aCurrentTrackWithoutTagsWhileIdleIsNotPlayingButHasItsStar()
    {
        makeCurrent(m_track);
        QTRY_VERIFY(!m_view->starButton()->isHidden());
        QCOMPARE(m_view->trackInfo()->form(), NowPlayingFormat::TrackInfoForm::notPlaying);
        QCOMPARE(m_view->starButton()->toolTip(), QStringLiteral("Star"));
    }

    void tagsShowTitleArtistAlbumAndArtwork()
    {
        makeCurrent(m_track);
        TrackMetadata metadata;
        metadata.title = QStringLiteral("Song Title");
        metadata.artist = QStringLiteral("Band");
        metadata.album = QStringLiteral("Record");
        metadata.artworkData = imageBytes(Qt::red, "PNG", QSize(8, 4));
        context().setCurrentMetadata(metadata);
        QTRY_COMPARE(m_view->trackInfo()->form(), NowPlayingFormat::TrackInfoForm::metadata);
        QCOMPARE(m_view->trackInfo()->titleText(), QStringLiteral("Song Title"));
        QCOMPARE(m_view->trackInfo()->detailText(), QString::fromUtf8("Band \u2014 Record"));
        QVERIFY(m_view->trackInfo()->showsArtwork());

        // Bytes that are no picture still take the artwork's place; no bytes, no artwork.
        metadata.artworkData = QByteArray("junk");
        context().setCurrentMetadata(metadata);
        QTRY_VERIFY(m_view->trackInfo()->showsArtwork());
        // Without a title tag, the reference's title.
        context().setCurrentMetadata(TrackMetadata());
        QTRY_COMPARE(m_view->trackInfo()->titleText(), QStringLiteral("Song"));
        QCOMPARE(m_view->trackInfo()->detailText(), QString());
        QVERIFY(!m_view->trackInfo()->showsArtwork());
    }

    void whileTagsLoadThePlayingReferenceIsShown()
    {
        QVERIFY(playThirtySeconds());
        QCOMPARE(m_view->playPauseButton()->property("symbol").toString(), QStringLiteral("pause.circle.fill"));
        // The untagged file is named as its row names it.
        QTRY_COMPARE(m_view->trackInfo()->titleText(), QStringLiteral("long"));
        context().setCurrentMetadata(std::nullopt);
        QTRY_COMPARE(m_view->trackInfo()->form(), NowPlayingFormat::TrackInfoForm::loading);
        QCOMPARE(m_view->trackInfo()->loadingText(), context().currentTrack()->track());
        QTRY_VERIFY(m_view->scrubber()->slider()->isEnabled());
        QCOMPARE(m_view->scrubber()->totalText(), QStringLiteral("0:30"));
        // The clock moves the line and the slider, and no seek goes out.
        QTRY_VERIFY(m_view->progressLine()->fraction() > 0.0);
        QTRY_VERIFY(m_view->scrubber()->slider()->value() > 0);
        const QStringList commands =
            m_rig->log.messages(QStringLiteral("com.tornwick.oblin.playback")).filter(QStringLiteral("execute: "));
        QCOMPARE(commands, QStringList{"execute: play"});

        QTest::mouseClick(m_view->playPauseButton(), Qt::LeftButton);
        QTRY_COMPARE(context().transportState().kind(), TransportState::Kind::paused);
        QTRY_COMPARE(m_view->playPauseButton()->property("symbol").toString(), QStringLiteral("play.circle.fill"));
    }

    void theStarFollowsTheLibrary()
    {
        makeCurrent(m_track);
        QTRY_VERIFY(!m_view->starButton()->isHidden());
        QTest::mouseClick(m_view->starButton(), Qt::LeftButton);
        QVERIFY(m_state->playlistLibrary().isStarred(m_track));
        QTRY_COMPARE(m_view->starButton()->toolTip(), QStringLiteral("Unstar"));
        QTest::mouseClick(m_view->starButton(), Qt::LeftButton);
        QVERIFY(!m_state->playlistLibrary().isStarred(m_track));
        QTRY_COMPARE(m_view->starButton()->toolTip(), QStringLiteral("Star"));

        // A star that cannot be saved is not shown, and the reason goes to the "Error" alert.
        replaceFolderWithFile(PlaylistDirectory::local());
        m_view->starButton()->click();
        const QString shown = describeException(m_state->scanErrors().scanError());
        QVERIFY2(shown.startsWith(QStringLiteral("Failed to save playlist 'Starred': ")), qPrintable(shown));
        QCOMPARE(m_view->starButton()->toolTip(), QStringLiteral("Star"));
    }

    void repeatCyclesAndShuffleToggles()
    {
        QStringList seen;
        for (int press = 0; press <= 3; ++press) {
            if (press > 0)
                QTest::mouseClick(m_view->repeatButton(), Qt::LeftButton);
            QTRY_COMPARE(m_view->repeatButton()->toolTip(), NowPlayingFormat::repeatTooltip(context().repeatMode()));
            seen << m_view->repeatButton()->property("symbol").toString() + u' ' + m_view->repeatButton()->toolTip();
        }
        QCOMPARE(seen, (QStringList{"repeat Repeat: Off", "repeat Repeat: All", "repeat.1 Repeat: One",
                                    "repeat Repeat: Off"}));
        QTest::mouseClick(m_view->shuffleButton(), Qt::LeftButton);
        QVERIFY(context().shuffleEnabled());
        QTest::mouseClick(m_view->shuffleButton(), Qt::LeftButton);
        QVERIFY(!context().shuffleEnabled());
    }

    void transportButtonsTakeNoFocus()
    {
        for (QToolButton* button :
             {m_view->shuffleButton(), m_view->previousButton(), m_view->playPauseButton(), m_view->nextButton(),
              m_view->repeatButton(), m_view->starButton(), m_view->volumeControl()->button()})
            QCOMPARE(button->focusPolicy(), Qt::NoFocus);
    }

    void volumeMutesToZeroAndUnmutesToThreeQuarters()
    {
        VolumeControl* volume = m_view->volumeControl();
        const VolumeState& level = m_state->volumeState();
        QCOMPARE(level.value(), 0.75);
        QCOMPARE(volume->button()->toolTip(), QStringLiteral("Volume: 75%"));
        QTest::mouseClick(volume->button(), Qt::LeftButton);
        QTRY_VERIFY(volume->isPopupShown());

        volume->slider()->setValue(400);
        QCOMPARE(level.value(), 0.4);
        QCOMPARE(m_state->settings().value(QStringLiteral("volume")).toDouble(), 0.4);
        QCOMPARE(volume->button()->toolTip(), QStringLiteral("Volume: 40%"));

        volume->muteButton()->click();
        QCOMPARE(level.value(), 0.0);
        QCOMPARE(m_state->audioOutput().volume(), 0.0f);
        QCOMPARE(m_state->settings().value(QStringLiteral("volume")).toDouble(), 0.0);
        QCOMPARE(volume->slider()->value(), 0);
        volume->muteButton()->click();
        QCOMPARE(level.value(), 0.75);
        QVERIFY(m_state->audioOutput().volume() > 0.0f);
        QCOMPARE(m_state->settings().value(QStringLiteral("volume")).toDouble(), 0.75);

        // Another bar shows the same level.
        volume->slider()->setValue(329);
        NowPlayingView second(*m_state);
        QCOMPARE(second.volumeControl()->slider()->value(), 329);
        QCOMPARE(second.volumeControl()->button()->toolTip(), QStringLiteral("Volume: 32%"));
    }

    void aVolumeSetByTheDesktopMovesTheBar()
    {
        VolumeControl* volume = m_view->volumeControl();
        QTest::mouseClick(volume->button(), Qt::LeftButton);
        QTRY_VERIFY(volume->isPopupShown());
        QCOMPARE(playerctl({QStringLiteral("volume"), QStringLiteral("0.5")}), QString());
        QTRY_COMPARE(volume->slider()->value(), 500);
        QCOMPARE(volume->button()->toolTip(), QStringLiteral("Volume: 50%"));
        // The next touch goes on from there, and the desktop hears of it.
        volume->slider()->setValue(volume->slider()->value() + 10);
        QCOMPARE(m_state->settings().value(QStringLiteral("volume")).toDouble(), 0.51);
        QTRY_COMPARE(playerctl({QStringLiteral("volume")}), QStringLiteral("0.510000"));
    }

    // When the queue has ended the bar keeps the track it played, with its length.
    void theEndOfTheQueueKeepsTheTrackAndItsLength()
    {
        const QString music = m_rig->folder(QStringLiteral("lib"));
        QVERIFY(!m_rig->writeWav(QStringLiteral("lib/short.wav"), 44100 * 2).isEmpty());
        m_state->addWatchedDirectory(music);
        QVERIFY(AppStateRig::scanned(*m_state));
        QTest::mouseClick(m_view->playPauseButton(), Qt::LeftButton);
        QTRY_VERIFY(context().transportState().isPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(context().transportState().kind() == TransportState::Kind::idle, 10000);
        QTRY_COMPARE(m_view->trackInfo()->titleText(), QStringLiteral("short"));
        QCOMPARE(m_view->trackInfo()->form(), NowPlayingFormat::TrackInfoForm::metadata);
        QCOMPARE(m_view->scrubber()->elapsedText(), QStringLiteral("0:00"));
        QCOMPARE(m_view->scrubber()->totalText(), QStringLiteral("0:02"));
        QCOMPARE(m_view->progressLine()->fraction(), 0.0);
        // Next at the end stops the player: the same.
        QTest::mouseClick(m_view->nextButton(), Qt::LeftButton);
        QTRY_VERIFY(m_rig->log.messages(QStringLiteral("com.tornwick.oblin.playback")).contains("execute: next"));
        QCOMPARE(m_view->trackInfo()->titleText(), QStringLiteral("short"));
        QCOMPARE(m_view->scrubber()->totalText(), QStringLiteral("0:02"));
    }

    void clockUpdatesSendNoSeek()
    {
        QList<double> seeks;
        PositionScrubber scrubber([&](double seconds) { seeks << seconds; });
        for (int tick = 0; tick <= 50; ++tick)
            scrubber.setTimes(tick * 0.1, 100.0);
        QVERIFY(seeks.isEmpty());
        QCOMPARE(scrubber.slider()->value(), 50);
        QCOMPARE(scrubber.elapsedText(), QStringLiteral("0:05"));
        QCOMPARE(scrubber.totalText(), QStringLiteral("1:40"));

        // While the user holds the slider, the clock does not move it.
        scrubber.slider()->setSliderDown(true);
        scrubber.slider()->setValue(500);
        scrubber.setTimes(6.0, 100.0);
        QCOMPARE(scrubber.slider()->value(), 500);
        scrubber.slider()->setValue(750);
        scrubber.slider()->setSliderDown(false);
        QCOMPARE(seeks, (QList<double>{50.0, 75.0}));

        // No duration: disabled, and nothing to seek in.
        scrubber.setTimes(3.0, std::nullopt);
        QVERIFY(!scrubber.slider()->isEnabled());
        QCOMPARE(scrubber.totalText(), QStringLiteral("0:00"));
    }

    // At the narrowest bar (the main window at its smallest) the two times
    // are still apart, not "0:000:00".
    void theTimesStayApartInTheNarrowestBar()
    {
        m_view->scrubber()->setTimes(3725.0, 3725.0);
        m_view->resize(m_view->minimumSizeHint().width(), m_view->minimumSizeHint().height());
        m_view->layout()->activate();
        const auto* elapsed = m_view->findChild<QLabel*>(QStringLiteral("elapsedTime"));
        const auto* total = m_view->findChild<QLabel*>(QStringLiteral("totalTime"));
        QVERIFY(elapsed && total);
        QCOMPARE(elapsed->text(), QStringLiteral("62:05"));
        const int textEnd = elapsed->x() + elapsed->fontMetrics().horizontalAdvance(elapsed->text());
        QVERIFY2(total->x() - textEnd >= elapsed->fontMetrics().horizontalAdvance(u' '),
                 qPrintable(QStringLiteral("%1 ends at %2, %3 starts at %4")
                                .arg(elapsed->text())
                                .arg(textEnd)
                                .arg(total->text())
                                .arg(total->x())));
    }

    void aPressSeeksOnceToItsPlaceAndADragFollows()
    {
        QList<double> seeks;
        PositionScrubber scrubber([&](double seconds) { seeks << seconds; });
        scrubber.resize(400, 40);
        scrubber.show();
        QVERIFY(QTest::qWaitForWindowExposed(&scrubber));
        QSlider& slider = *scrubber.slider();
        scrubber.setTimes(10.0, 100.0);
        // A click away from the handle seeks once, to the clicked place.
        QTest::mouseClick(&slider, Qt::LeftButton, {}, sliderPoint(slider, 0.75));
        QVERIFY2(seeks.size() == 1 && std::abs(seeks[0] - 75.0) < 5.0, qPrintable(QString::number(seeks.last())));

        // A press held just past the handle: one seek there and no repeat,
        // while the clock leaves the handle alone; dragging on seeks at each place.
        scrubber.setTimes(40.0, 100.0);
        QTest::mousePress(&slider, Qt::LeftButton, {}, sliderPoint(slider, 0.45));
        QVERIFY2(seeks.size() == 2 && std::abs(seeks[1] - 45.0) < 5.0, qPrintable(QString::number(seeks.last())));
        QSignalSpy repeats(&slider, &QAbstractSlider::actionTriggered);
        const int held = slider.value();
        scrubber.setTimes(40.1, 100.0);
        QVERIFY(!repeats.wait(1000));
        QCOMPARE(seeks.size(), 2);
        QCOMPARE(slider.value(), held);
        QTest::mouseMove(&slider, sliderPoint(slider, 0.6));
        QTest::mouseMove(&slider, sliderPoint(slider, 0.8));
        QTest::mouseRelease(&slider, Qt::LeftButton, {}, sliderPoint(slider, 0.8));
        QCOMPARE(seeks.size(), 4);
        QVERIFY(seeks[1] < seeks[2] && seeks[2] < seeks[3]);
    }

    void aSeekWhilePausedShowsAtOnceAndPlaysOnFromThere()
    {
        QVERIFY(playThirtySeconds());
        QTest::mouseClick(m_view->playPauseButton(), Qt::LeftButton);
        QTRY_COMPARE(context().transportState().kind(), TransportState::Kind::paused);
        const Clock& clock = *context().clock();
        QList<double> positions;
        const QObject receiver;
        connect(&clock, &Clock::positionChanged, &receiver, [&] { positions << clock.position(); });
        QSlider& slider = *m_view->scrubber()->slider();
        QTest::mouseClick(&slider, Qt::LeftButton, {}, sliderPoint(slider, 0.5));
        QTRY_COMPARE_WITH_TIMEOUT(positions.size(), 1, 10000);
        const double target = positions.first();
        QVERIFY2(std::abs(target - 15.0) < 2.0, qPrintable(QString::number(target)));
        QCOMPARE(m_view->scrubber()->elapsedText(), NowPlayingFormat::formatTime(target));
        QCOMPARE(context().transportState(), TransportState::paused(target));

        // Play goes on from there: the time never drops back meanwhile.
        QTest::mouseClick(m_view->playPauseButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(clock.position() > target + 0.2, 10000);
        for (const double position : positions)
            QVERIFY2(position >= target, qPrintable(QString::number(position)));
    }

    void aRepeatedErrorRaisesExactlyOneBox()
    {
        context().setLastError(std::make_exception_ptr(TextError(QStringLiteral("Cannot play this"))));
        QTRY_COMPARE(shownBoxes(*m_view).size(), 1);
        QMessageBox* box = shownBoxes(*m_view).first();
        QCOMPARE(box->windowTitle(), QStringLiteral("Playback Error"));
        QCOMPARE(box->text(), QStringLiteral("Cannot play this"));
        // The same text again while it is up: still one box.
        context().setLastError(std::make_exception_ptr(TextError(QStringLiteral("Cannot play this"))));
        QCOMPARE(shownBoxes(*m_view).size(), 1);
        box->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(shownBoxes(*m_view).isEmpty());
        // And again after OK: raised anew.
        context().setLastError(std::make_exception_ptr(TextError(QStringLiteral("Cannot play this"))));
        QTRY_COMPARE(shownBoxes(*m_view).size(), 1);
        // Clearing the error does not raise anything.
        shownBoxes(*m_view).first()->button(QMessageBox::Ok)->click();
        context().setLastError(nullptr);
        QVERIFY(shownBoxes(*m_view).isEmpty());
    }

    void aFailingCommandShowsOneBox()
    {
        // A track no source knows: play fails in the command and in lastError.
        makeCurrent(TrackRef(QStringLiteral("Nobody"), QStringLiteral("Nowhere"), QStringLiteral("Nothing")));
        QTest::mouseClick(m_view->playPauseButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(context().lastError() != nullptr, 10000);
        QTRY_COMPARE(shownBoxes(*m_view).size(), 1);
        QCOMPARE(shownBoxes(*m_view).first()->text(), describeException(context().lastError()));
    }

    void clickingTheTrackRevealsIt()
    {
        makeCurrent(m_track);
        context().setCurrentMetadata(TrackMetadata());
        QTRY_COMPARE(m_view->trackInfo()->form(), NowPlayingFormat::TrackInfoForm::metadata);
        // Without an action a click does nothing.
        QTest::mouseClick(m_view->trackInfo(), Qt::LeftButton);
        QList<TrackRef> revealed;
        m_view->setOnRevealTrack([&](const TrackRef& track) { revealed << track; });
        QTest::mouseClick(m_view->trackInfo(), Qt::LeftButton);
        QCOMPARE(revealed, QList<TrackRef>{m_track});
    }

    void theShownTrackDragsAsItsReference()
    {
        makeCurrent(m_track);
        QTRY_VERIFY(!m_view->starButton()->isHidden());
        QVERIFY(!m_view->trackInfo()->dragPayload()); // "Not Playing" is no track to drag
        context().setCurrentMetadata(TrackMetadata());
        QTRY_COMPARE(m_view->trackInfo()->form(), NowPlayingFormat::TrackInfoForm::metadata);
        std::unique_ptr<QMimeData> payload(m_view->trackInfo()->dragPayload());
        QVERIFY(payload);
        const QList<PlaylistTrack> dragged = extractPlaylistTracks(*payload, {});
        QCOMPARE(dragged.size(), 1);
        QCOMPARE(dragged.first().ref, m_track);
    }
};

QTEST_MAIN(NowPlayingViewTest)
#include "tst_nowplayingview.moc"
