#include "Vessa/Views/NowPlaying/NowPlayingView.h"

#include "Oblin/PlayContext.h"
#include "Parvik/PlaylistLibrary.h"
#include "Vessa/App/AppState.h"
#include "Vessa/App/Playlists/PlaylistQueue.h"
#include "Vessa/App/System/ScanErrorState.h"
#include "Vessa/Views/NowPlaying/NowPlayingFormat.h"
#include "Vessa/Views/NowPlaying/PositionScrubber.h"
#include "Vessa/Views/NowPlaying/ProgressLine.h"
#include "Vessa/Views/NowPlaying/TrackInfoView.h"
#include "Vessa/Views/NowPlaying/VolumeControl.h"
#include "Vessa/Views/Shared/CoalescedRefresh.h"
#include "Vessa/Views/Shared/ErrorAlert.h"
#include "Vessa/Views/Theme/Icons.h"
#include "Vessa/Views/Theme/TextStyles.h"
#include "Vessa/Views/Theme/VessaTheme.h"
#include "VessaCore/Clock.h"
#include "VessaCore/ExceptionDescription.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPointer>
#include <QToolButton>
#include <QVBoxLayout>

namespace vessa {

namespace {

constexpr int toggleIconSize = 16;

QString rgba(QColor color, qreal alpha)
{
    color.setAlphaF(static_cast<float>(alpha));
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

} // namespace

NowPlayingView::Services::Services(AppState& appState)
    : Services(appState.playContext(), appState.volumeState(), appState.playlistQueue(), appState.scanErrors())
{
}

NowPlayingView::NowPlayingView(AppState& appState, QWidget* parent) : NowPlayingView(Services(appState), parent)
{
}

NowPlayingView::NowPlayingView(Services services, QWidget* parent)
    : QWidget(parent),
      m_playContext(services.playContext),
      m_playlists(services.playlists),
      m_errors(services.errors),
      m_progressLine(new ProgressLine),
      m_trackInfo(new TrackInfoView),
      m_starButton(new QToolButton),
      m_scrubber(new PositionScrubber([this](double seconds) { send(PlaybackCommand::seek(seconds)); })),
      m_volume(new VolumeControl(services.volume)),
      m_alert(new ErrorAlert(this, tr("Playback Error"))),
      m_refresh(new CoalescedRefresh([this] { refresh(); }, this))
{
    setObjectName(QStringLiteral("NowPlayingView"));
    // A translucent panel over the window background.
    setAutoFillBackground(true);
    QPalette panel = palette();
    QColor window = panel.color(QPalette::Window);
    window.setAlphaF(0.72f);
    panel.setColor(QPalette::Window, window);
    setPalette(panel);

    m_starButton->setObjectName(QStringLiteral("starButton"));
    m_starButton->setAutoRaise(true);
    m_starButton->setFocusPolicy(Qt::NoFocus);
    connect(m_starButton, &QToolButton::clicked, this, &NowPlayingView::toggleStar);
    connect(m_trackInfo, &TrackInfoView::clicked, this, [this](const TrackRef& track) {
        if (m_onRevealTrack)
            m_onRevealTrack(track);
    });

    auto* mainRow = new QHBoxLayout;
    mainRow->setSpacing(12);
    mainRow->addWidget(m_trackInfo);
    mainRow->addWidget(m_starButton);
    mainRow->addStretch();
    auto* transportRow = new QHBoxLayout;
    transportRow->setSpacing(16);
    transportRow->addWidget(makeTransportControls());
    transportRow->addWidget(m_scrubber, 1);
    transportRow->addWidget(m_volume);
    auto* content = new QVBoxLayout;
    content->setContentsMargins(16, 12, 16, 12);
    content->setSpacing(10);
    content->addLayout(mainRow);
    content->addLayout(transportRow);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_progressLine);
    layout->addLayout(content);

    const auto request = [this] { m_refresh->request(); };
    connect(&m_playContext, &PlayContext::currentTrackChanged, this, request);
    connect(&m_playContext, &PlayContext::currentMetadataChanged, this, request);
    connect(&m_playContext, &PlayContext::transportStateChanged, this, request);
    connect(&m_playContext, &PlayContext::shuffleEnabledChanged, this, request);
    connect(&m_playContext, &PlayContext::repeatModeChanged, this, request);
    // Also a failure with the text of the last one raises the alert again.
    connect(&m_playContext, &PlayContext::lastErrorChanged, this, [this] {
        if (m_playContext.lastError())
            showError(m_playContext.lastError());
    });
    if (Clock* clock = m_playContext.clock()) {
        connect(clock, &Clock::positionChanged, this, &NowPlayingView::refreshTimes);
        connect(clock, &Clock::durationChanged, this, &NowPlayingView::refreshTimes);
    }
    connect(&m_playlists, &PlaylistQueue::playlistLibraryChanged, this, [this] {
        watchPlaylistLibrary();
        m_refresh->request();
    });
    watchPlaylistLibrary();
    refresh();
}

NowPlayingView::~NowPlayingView() = default;

QToolButton* NowPlayingView::transportButton(const QString& name, int iconSize)
{
    auto* button = new QToolButton;
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIconSize(QSize(iconSize, iconSize));
    return button;
}

QWidget* NowPlayingView::makeTransportControls()
{
    auto* pill = new QFrame;
    pill->setObjectName(QStringLiteral("transportPill"));
    pill->setStyleSheet(QStringLiteral("QFrame#transportPill { background: %1; border-radius: 22px; }")
                            .arg(rgba(VessaTheme::accentColor(palette()), 0.15)));
    auto* row = new QHBoxLayout(pill);
    row->setContentsMargins(12, 6, 12, 6);
    row->setSpacing(16);
    m_shuffleButton = transportButton(QStringLiteral("shuffleButton"), toggleIconSize);
    m_previousButton = transportButton(QStringLiteral("previousButton"), 20);
    m_playPauseButton = transportButton(QStringLiteral("playPauseButton"), 38);
    m_nextButton = transportButton(QStringLiteral("nextButton"), 20);
    m_repeatButton = transportButton(QStringLiteral("repeatButton"), toggleIconSize);
    m_previousButton->setIcon(Icons::icon(QStringLiteral("backward.fill")));
    m_nextButton->setIcon(Icons::icon(QStringLiteral("forward.fill")));
    for (QToolButton* button : {m_shuffleButton, m_previousButton, m_playPauseButton, m_nextButton, m_repeatButton})
        row->addWidget(button);
    connect(m_shuffleButton, &QToolButton::clicked, this,
            [this] { m_playContext.setShuffleEnabled(!m_playContext.shuffleEnabled()); });
    connect(m_previousButton, &QToolButton::clicked, this, [this] { send(PlaybackCommand::previous()); });
    connect(m_playPauseButton, &QToolButton::clicked, this, &NowPlayingView::togglePlayPause);
    connect(m_nextButton, &QToolButton::clicked, this, [this] { send(PlaybackCommand::next()); });
    connect(m_repeatButton, &QToolButton::clicked, this,
            [this] { m_playContext.setRepeatMode(next(m_playContext.repeatMode())); });
    return pill;
}

void NowPlayingView::send(const PlaybackCommand& command)
{
    QPointer<NowPlayingView> guard(this);
    m_playContext.execute(command, [guard](std::exception_ptr error) {
        if (guard && error)
            guard->showError(error);
    });
}

void NowPlayingView::togglePlayPause()
{
    send(m_playContext.transportState().isPlaying() ? PlaybackCommand::pause() : PlaybackCommand::play());
}

void NowPlayingView::toggleStar()
{
    const std::optional<TrackRef> track = m_playContext.currentTrack();
    if (!track)
        return;
    PlaylistLibrary& library = m_playlists.playlistLibrary();
    try {
        if (library.starred().contains(*track))
            library.unstar(*track);
        else
            library.star(*track);
    } catch (...) {
        // The star keeps showing the library's state; the main window says why.
        m_errors.setScanError(std::current_exception());
    }
}

void NowPlayingView::showError(std::exception_ptr error)
{
    m_alert->show(describeException(error));
}

void NowPlayingView::watchPlaylistLibrary()
{
    disconnect(m_libraryConnection);
    m_libraryConnection = connect(&m_playlists.playlistLibrary(), &PlaylistLibrary::playlistsChanged, this,
                                  [this] { m_refresh->request(); });
}

void NowPlayingView::styleToggle(QToolButton* button, const QString& symbol, bool on)
{
    const QColor accent = VessaTheme::accentColor(palette());
    button->setIcon(Icons::tinted(symbol, QSize(toggleIconSize, toggleIconSize), devicePixelRatioF(),
                                  on ? accent : TextStyles::secondaryText(palette())));
    button->setStyleSheet(on ? QStringLiteral("QToolButton { background: %1; border-radius: 14px; padding: 6px; }")
                                   .arg(rgba(accent, 0.25))
                             : QStringLiteral("QToolButton { padding: 6px; }"));
}

void NowPlayingView::refresh()
{
    const std::optional<TrackRef> track = m_playContext.currentTrack();
    m_trackInfo->display(track, m_playContext.currentMetadata(), m_playContext.transportState());

    m_starButton->setVisible(track.has_value());
    if (track) {
        const bool starred = m_playlists.playlistLibrary().starred().contains(*track);
        m_starButton->setIcon(starred ? Icons::tinted(QStringLiteral("star.fill"), QSize(16, 16), devicePixelRatioF(),
                                                      QColor(0xff, 0xcc, 0x00))
                                      : Icons::tinted(QStringLiteral("star"), QSize(16, 16), devicePixelRatioF(),
                                                      TextStyles::secondaryText(palette())));
        m_starButton->setToolTip(starred ? tr("Unstar") : tr("Star"));
    }

    const bool playing = m_playContext.transportState().isPlaying();
    m_playPauseButton->setIcon(
        Icons::icon(playing ? QStringLiteral("pause.circle.fill") : QStringLiteral("play.circle.fill")));
    m_playPauseButton->setProperty("symbol",
                                   playing ? QStringLiteral("pause.circle.fill") : QStringLiteral("play.circle.fill"));
    styleToggle(m_shuffleButton, QStringLiteral("shuffle"), m_playContext.shuffleEnabled());
    const RepeatMode repeat = m_playContext.repeatMode();
    const QString repeatSymbol = NowPlayingFormat::repeatSymbol(repeat);
    styleToggle(m_repeatButton, repeatSymbol, repeat != RepeatMode::off);
    m_repeatButton->setProperty("symbol", repeatSymbol);
    m_repeatButton->setToolTip(NowPlayingFormat::repeatTooltip(repeat));
    refreshTimes();
}

void NowPlayingView::refreshTimes()
{
    const Clock* clock = m_playContext.clock();
    const std::optional<double> duration = clock ? clock->duration() : std::nullopt;
    const NowPlayingFormat::ShownTimes shown = NowPlayingFormat::shownTimes(
        m_playContext.transportState(), clock ? clock->position() : 0.0, duration, m_playContext.currentMetadata());
    m_progressLine->setFraction(NowPlayingFormat::progressFraction(shown.position, shown.length));
    m_scrubber->setTimes(shown.position, duration, shown.length);
}

} // namespace vessa
