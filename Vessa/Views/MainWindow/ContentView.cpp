#include "Vessa/Views/MainWindow/ContentView.h"

#include "Oblin/PlayContext.h"
#include "Parvik/PlaylistLibrary.h"
#include "Vessa/App/AppState.h"
#include "Vessa/App/Library/MusicLibrary.h"
#include "Vessa/App/Playlists/PlaylistQueue.h"
#include "Vessa/App/System/ScanErrorState.h"
#include "Vessa/Views/MainWindow/DetailState.h"
#include "Vessa/Views/MainWindow/EmptyLibraryView.h"
#include "Vessa/Views/MainWindow/PlaylistOperations.h"
#include "Vessa/Views/MainWindow/ScanningStateView.h"
#include "Vessa/Views/MainWindow/SidebarSelection.h"
#include "Vessa/Views/NowPlaying/NowPlayingView.h"
#include "Vessa/Views/Shared/CoalescedRefresh.h"
#include "Vessa/Views/Shared/ErrorAlert.h"
#include "Vessa/Views/Theme/AdaptiveWindowBackground.h"
#include "Vessa/Views/Theme/Icons.h"
#include "Vessa/Views/TrackLists/LibrarySelection.h"
#include "VessaCore/ExceptionDescription.h"

#include <QShortcut>
#include <QShowEvent>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QVBoxLayout>

namespace vessa {

ContentView::Services::Services(AppState& appState)
    : musicLibrary(appState.musicLibrary()),
      playContext(appState.playContext()),
      volume(appState.volumeState()),
      playlists(appState.playlistQueue()),
      pluginRegistry(appState.pluginRegistry()),
      settings(appState.settings()),
      errors(appState.scanErrors()),
      trackLists(TrackListServices::of(appState))
{
}

ContentView::ContentView(AppState& appState, DetailLists lists, QWidget* parent)
    : ContentView(Services(appState), std::move(lists), parent)
{
}

ContentView::ContentView(Services services, DetailLists lists, QWidget* parent)
    : QMainWindow(parent),
      m_services(services),
      m_lists(std::move(lists)),
      m_selection(new SidebarSelection(this)),
      m_operations(new PlaylistOperations(
          [&playlists = services.playlists]() -> PlaylistLibrary& { return playlists.playlistLibrary(); }, *m_selection,
          this)),
      m_sidebar(new SidebarView({services.musicLibrary, services.playlists, services.pluginRegistry, services.settings},
                                *m_selection, *m_operations)),
      m_alert(new ErrorAlert(this, tr("Error"))),
      m_equalizerAction(new QAction(Icons::icon(QStringLiteral("slider.horizontal.3")), tr("Equalizer"), this)),
      m_spaceShortcut(new QShortcut(QKeySequence(Qt::Key_Space), this)),
      m_refreshDetail(new CoalescedRefresh([this] { refreshDetail(); }, this))
{
    setWindowTitle(DetailState::windowTitle(m_selection->source()));
    setObjectName(QStringLiteral("ContentView"));
    resize(1100, 700);

    // The sidebar lies on the window background.
    QPalette clear = m_sidebar->palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    m_sidebar->setPalette(clear);
    m_sidebar->viewport()->setAutoFillBackground(false);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(m_sidebar);
    splitter->addWidget(makeDetail());
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 880});
    splitter->setChildrenCollapsible(false);
    auto* background = new AdaptiveWindowBackground;
    auto* layout = new QVBoxLayout(background);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    setCentralWidget(background);

    auto* toolbar = addToolBar(tr("Main"));
    toolbar->setObjectName(QStringLiteral("mainToolbar"));
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    auto* spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    toolbar->addAction(m_equalizerAction);
    connect(m_equalizerAction, &QAction::triggered, this, &ContentView::equalizerRequested);

    // Text fields take the space for themselves first (their shortcut override).
    m_spaceShortcut->setContext(Qt::WindowShortcut);
    connect(m_spaceShortcut, &QShortcut::activated, this, &ContentView::togglePlayback);

    ScanErrorState& errors = m_services.errors;
    connect(m_alert, &ErrorAlert::dismissed, &errors, [&errors](ErrorAlert::Dismissal how) {
        if (how == ErrorAlert::Dismissal::acknowledged)
            errors.acknowledgeScanError();
        else
            errors.setScanError(nullptr);
    });
    connect(&errors, &ScanErrorState::scanErrorChanged, this, &ContentView::showScanError);
    connect(m_operations, &PlaylistOperations::failed, &errors, &ScanErrorState::setScanError);

    const auto listChanged = [this] {
        m_libraryListIsStale = true;
        m_refreshDetail->request();
    };
    connect(m_selection, &SidebarSelection::sourceChanged, this, listChanged);
    connect(m_selection, &SidebarSelection::sourceChanged, this,
            [this] { setWindowTitle(DetailState::windowTitle(m_selection->source())); });
    const MusicLibrary& library = m_services.musicLibrary;
    connect(&library, &MusicLibrary::scannedTracksChanged, this, listChanged);
    connect(&library, &MusicLibrary::isScanningChanged, this, [this] { m_refreshDetail->request(); });
    connect(&library, &MusicLibrary::scanProgressChanged, this,
            [this] { m_scanningState->setProgress(m_services.musicLibrary.scanProgress()); });
    refreshDetail();
    showScanError();
}

ContentView::~ContentView() = default;

QWidget* ContentView::makeDetail()
{
    auto* detail = new QWidget;
    auto* layout = new QVBoxLayout(detail);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_pages = new QStackedWidget;
    m_scanningState = new ScanningStateView;
    m_emptyState = new EmptyLibraryView;
    m_pages->addWidget(m_scanningState);
    m_pages->addWidget(m_emptyState);
    m_nowPlaying =
        new NowPlayingView({m_services.playContext, m_services.volume, m_services.playlists, m_services.errors});
    m_nowPlaying->setOnRevealTrack([this](const TrackRef& track) { revealTrack(track); });
    layout->addWidget(m_pages, 1);
    layout->addWidget(m_nowPlaying);
    return detail;
}

QList<ScannedTrack> ContentView::tracksForSelection() const
{
    return LibrarySelection::tracksFor(m_selection->source(), m_services.musicLibrary.scannedTracks());
}

void ContentView::refreshDetail()
{
    const std::optional<SidebarSource>& source = m_selection->source();
    const DetailState::Page page = DetailState::pageFor(source, m_services.musicLibrary.isScanning(),
                                                        m_services.musicLibrary.scannedTracks().isEmpty());
    // A playlist selected again starts afresh, like one selected for the first time.
    if (page != DetailState::Page::playlist)
        m_shownPlaylist.reset();
    switch (page) {
    case DetailState::Page::scanning:
        m_scanningState->setProgress(m_services.musicLibrary.scanProgress());
        m_pages->setCurrentWidget(m_scanningState);
        return;
    case DetailState::Page::empty: m_pages->setCurrentWidget(m_emptyState); return;
    case DetailState::Page::library:
        if (!m_libraryList && m_lists.makeLibraryList) {
            m_libraryList = m_lists.makeLibraryList(m_services.trackLists);
            m_pages->addWidget(m_libraryList->widget());
        }
        if (!m_libraryList)
            return;
        if (m_libraryListIsStale)
            m_libraryList->setScannedTracks(tracksForSelection(), m_selection->source());
        m_libraryListIsStale = false;
        m_pages->setCurrentWidget(m_libraryList->widget());
        return;
    case DetailState::Page::playlist: {
        const QString name = DetailState::playlistName(*source);
        if (!m_playlistView && m_lists.makePlaylistView) {
            m_playlistView = m_lists.makePlaylistView(m_services.trackLists, name);
            m_pages->addWidget(m_playlistView->widget());
        } else if (m_playlistView && name != m_shownPlaylist) {
            m_playlistView->showLibraryPlaylist(name);
        }
        m_shownPlaylist = name;
        if (m_playlistView)
            m_pages->setCurrentWidget(m_playlistView->widget());
        return;
    }
    }
}

void ContentView::revealTrack(const TrackRef& track)
{
    m_selection->setSource(
        LibrarySelection::afterReveal(m_selection->source(), m_services.musicLibrary.scannedTracks(), track));
    // The list shows the new selection's tracks before it looks for the track.
    refreshDetail();
    if (m_libraryList)
        m_libraryList->revealTrack(track);
}

void ContentView::createNewPlaylistInline()
{
    m_operations->createNewPlaylistInline();
}

void ContentView::showScanError()
{
    if (const std::exception_ptr error = m_services.errors.scanError())
        m_alert->show(describeException(error));
    else
        m_alert->close();
}

void ContentView::togglePlayback()
{
    PlayContext& playContext = m_services.playContext;
    // A failure stays in the play context's lastError, which the bar shows.
    playContext.execute(playContext.transportState().isPlaying() ? PlaybackCommand::pause() : PlaybackCommand::play());
}

void ContentView::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous() || m_services.musicLibrary.watchedDirectories().isEmpty())
        return;
    if (m_services.musicLibrary.scannedTracks().isEmpty())
        m_services.musicLibrary.reloadTracksFromDatabase();
    m_services.musicLibrary.rescanAll();
}

} // namespace vessa
