#include "Vessa/App/AppState.h"

#include "Oblin/PlayContext.h"
#include "Parvik/PlaylistLibrary.h"
#include "RaskoCoreAudio/CoreAudioDecoderPlugin.h"
#include "RaskoGME/GMEDecoderPlugin.h"
#include "RaskoLocalFile/LocalFileSourcePlugin.h"
#include "RaskoLocalFile/LocalFolderDestination.h"
#include "RaskoLocalFile/MediaDatabase.h"
#include "RaskoLocalFile/MediaDatabaseError.h"
#include "RaskoLocalFile/MediaDatabaseSetAside.h"
#include "RaskoLocalFile/MediaDatabaseWatch.h"
#include "RaskoMikmod/MikmodDecoderPlugin.h"
#include "Vessa/App/AppLogging.h"
#include "Vessa/App/Library/TrackAvailabilityIndex.h"
#include "Vessa/App/NowPlaying/EqualizerState.h"
#include "Vessa/App/NowPlaying/NowPlayingBridge.h"
#include "Vessa/App/NowPlaying/SavedPlaybackState.h"
#include "Vessa/App/NowPlaying/VolumeState.h"
#include "Vessa/App/Playlists/PlaylistQueue.h"
#include "Vessa/App/Playlists/UbiquitousFileWatcher.h"
#include "Vessa/App/System/PathProblem.h"
#include "Vessa/App/System/QuitSignalHandler.h"
#include "Vessa/App/System/SleepWatcher.h"
#include "VessaCore/ExceptionDescription.h"
#include "VessaCore/Player.h"
#include "VessaCoreAVAudioEngine/AVAudioEngineOutput.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

namespace vessa {

namespace {

// The application's own folder under the generic data location.
QString dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' + AppState::databaseFolderName;
}

// Why the settings cannot be read or kept, naming the path; nothing when
// they can.
std::optional<QString> settingsProblem(const QSettings& settings)
{
    const QString file = settings.fileName();
    const QFileInfo info(file);
    if (info.exists() || info.isSymLink()) {
        if (const std::optional<QString> problem = PathProblem::ofFileToRead(file))
            return QCoreApplication::translate("AppState", "Settings cannot be read from %1: %2.").arg(file, *problem);
    }
    const QString folder = info.absolutePath();
    if (const std::optional<QString> problem = PathProblem::ofFolderToWrite(folder))
        return QCoreApplication::translate("AppState", "Settings cannot be saved in %1: %2.").arg(folder, *problem);
    return std::nullopt;
}

// A file set aside is told at every start until the user has dismissed the
// notice: the settings keep it, with where the file goes, from the moment the
// move is decided, so that a run that ends before the alert shows, or even
// during the move, loses nothing. The page check may find damage on any
// thread that uses the database, so this uses settings of its own on the
// same file.
void keepSetAside(const QString& settingsFile, QSettings::Format format, const MediaDatabaseSetAside::Opened& decided)
{
    QSettings settings(settingsFile, format);
    settings.setValue(AppState::startupNoticeKey, settings.value(AppState::startupNoticeKey).toStringList()
                                                      << decided.notice());
    settings.setValue(AppState::setAsideKey, MediaDatabaseSetAside::storedForm(decided));
    settings.sync();
}

void forgetSetAside(const QString& settingsFile, QSettings::Format format)
{
    QSettings settings(settingsFile, format);
    settings.remove(AppState::setAsideKey);
    settings.sync();
}

// Finishes a set-aside that a kill cut off, as the settings keep it, and
// forgets it whatever comes of it, so that no stored value can stop a start.
// A move that cannot be made leaves the database where it is, and why is
// told once (returned). The notice kept with a move not made goes too.
std::optional<QString> finishSetAside(QSettings& settings, const QString& databasePath)
{
    if (!settings.contains(AppState::setAsideKey))
        return std::nullopt;
    const QStringList stored = settings.value(AppState::setAsideKey).toStringList();
    std::optional<QString> problem;
    bool moved = false;
    try {
        moved = MediaDatabaseSetAside::finishCutOff(databasePath, stored);
    } catch (const MediaDatabaseError& error) {
        problem = QCoreApplication::translate("AppState", "The media database at %1 could not be set aside as the "
                                                          "last run had decided (%2); it is used where it is.")
                      .arg(databasePath, error.reason());
    }
    QStringList notices = settings.value(AppState::startupNoticeKey).toStringList();
    if (!moved && !stored.isEmpty() && stored.constFirst().startsWith(databasePath + u'.')
        && notices.removeIf([&](const QString& notice) { return notice.contains(stored.constFirst()); }) > 0) {
        if (notices.isEmpty())
            settings.remove(AppState::startupNoticeKey);
        else
            settings.setValue(AppState::startupNoticeKey, notices);
    }
    settings.remove(AppState::setAsideKey);
    settings.sync();
    return problem;
}

} // namespace

AppState::Creation AppState::create(std::unique_ptr<QSettings> settings)
{
    if (!settings)
        settings = std::make_unique<QSettings>(QStringLiteral("Tornwick"), QStringLiteral("Vessa"));
    const auto keepNotice = [file = settings->fileName(), format = settings->format()](
                                const MediaDatabaseSetAside::Opened& decided) { keepSetAside(file, format, decided); };
    // Nothing is built before the database is open: a failure here must
    // leave no thread, watcher or timer behind.
    const std::optional<QString> unfinished = finishSetAside(*settings, databasePath());
    MediaDatabaseSetAside::Opened opened;
    try {
        opened = MediaDatabaseSetAside::open(databasePath(), keepNotice);
    } catch (...) {
        return {nullptr, describeException(std::current_exception())};
    }
    if (!opened.keptPath.isEmpty()) {
        logError(lcApp(), opened.notice());
        settings->remove(setAsideKey);
        settings->sync();
    }
    QStringList problems = settings->value(startupNoticeKey).toStringList();
    if (unfinished) {
        logError(lcApp(), *unfinished);
        problems.append(*unfinished);
    }
    if (const std::optional<QString> problem = settingsProblem(*settings)) {
        logError(lcApp(), *problem);
        problems.append(*problem);
    }

    std::unique_ptr<AppState> state(new AppState(std::move(settings), std::move(opened.database)));
    state->m_scanErrors->tellStartupProblems(problems);
    return {std::move(state), QString()};
}

QString AppState::databasePath()
{
    return dataFolder() + u'/' + databaseFileName;
}

AppState::AppState(std::unique_ptr<QSettings> settings, std::shared_ptr<MediaDatabase> database)
    : m_settings(std::move(settings)),
      m_scanErrors(std::make_unique<ScanErrorState>(*m_settings)),
      m_storagePreferences(std::make_unique<PlaylistStoragePreferences>(*m_settings)),
      m_database(database),
      m_databaseWatch(std::make_unique<MediaDatabaseWatch>(database)),
      m_availabilityIndex(std::make_unique<TrackAvailabilityIndex>())
{
    buildPlaybackEngine();

    // The saved volume goes to the output; the bar and the desktop change it
    // through this one owner.
    m_volumeState = std::make_unique<VolumeState>(*m_audioOutput, *m_settings);

    // What plays, published to the desktop, and its remote commands.
    m_nowPlayingBridge =
        std::make_unique<NowPlayingBridge>(*m_playContext, *m_volumeState, NowPlayingBridge::defaultCacheFolder());

    // The saved equaliser goes to the output.
    m_equalizerState = std::make_unique<EqualizerState>(*m_audioOutput, *m_settings);

    // The playlists, in the folder of the storage location; the switcher
    // moves them when the location or the cloud folder changes.
    const QString playlistFolder =
        m_storagePreferences->resolvePlaylistDirectory(m_storagePreferences->storageLocation());
    m_playlistLibrary = std::make_unique<PlaylistLibrary>(
        std::make_shared<LocalFolderDestination>(QStringLiteral("Library Playlists"), playlistFolder));
    m_storageSwitcher = std::make_unique<PlaylistStorageSwitcher>(
        playlistFolder, [this] { return storageTarget(); },
        [this](const PlaylistStorageSwitcher::Switch& done) { storageSwitched(done); }, m_settings.get());
    m_playlistQueue = std::make_unique<PlaylistQueue>(*m_playContext, *m_playlistLibrary);
    connect(m_storagePreferences.get(), &PlaylistStoragePreferences::switchRequested, m_storageSwitcher.get(),
            &PlaylistStorageSwitcher::requestSwitch);

    // The music library over the saved folders, with its background work and
    // the folder watcher; its failures are shown as scanError.
    m_musicLibrary =
        std::make_unique<MusicLibrary>(*m_settings, m_localFileSource, *m_playContext, *m_availabilityIndex);
    MusicLibrary* library = m_musicLibrary.get();
    connect(library, &MusicLibrary::watchedDirectoriesChanged, this, &AppState::watchedDirectoriesChanged);
    connect(library, &MusicLibrary::isScanningChanged, this, &AppState::isScanningChanged);
    connect(library, &MusicLibrary::scanProgressChanged, this, &AppState::scanProgressChanged);
    connect(library, &MusicLibrary::scannedTracksChanged, this, &AppState::scannedTracksChanged);
    connect(library, &MusicLibrary::scanRequested, m_scanErrors.get(), &ScanErrorState::clearUnlessStartupNotice);
    connect(library, &MusicLibrary::failed, m_scanErrors.get(), &ScanErrorState::setScanError);

    // System sleep pauses; a quit (also by SIGTERM, SIGINT or SIGHUP) fades
    // out and saves the playback state.
    m_sleepWatcher = std::make_unique<SleepWatcher>();
    connect(m_sleepWatcher.get(), &SleepWatcher::aboutToSleep, this, &AppState::pauseForSleep);
    if (QCoreApplication* application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &AppState::prepareToQuit);
    m_quitSignalHandler = std::make_unique<QuitSignalHandler>();

    startICloudPlaylistWatching();
    QTimer::singleShot(0, this, &AppState::loadPlaylists);

    // The database's pages are read in the background (the library waits for
    // them); a damaged file is set aside then, and told like one refused at
    // the start.
    m_databaseCheck.start(
        [database, file = m_settings->fileName(), format = m_settings->format()](std::stop_token stop) {
            std::optional<QString> notice;
            // The notice was kept when the move was decided; the move is done.
            if (const std::optional<MediaDatabase::Refused> refused = database->checkFile(stop)) {
                notice = MediaDatabaseSetAside::Opened{nullptr, refused->refusal, refused->keptPath, {}}.notice();
                forgetSetAside(file, format);
            }
            return notice;
        },
        [this](const std::optional<QString>& notice, std::exception_ptr error) { databaseChecked(notice, error); });
}

AppState::~AppState()
{
    m_database->stopFileCheck();
}

void AppState::buildPlaybackEngine()
{
    m_audioOutput = std::make_unique<AVAudioEngineOutput>();
    m_player = std::make_unique<Player>(*m_audioOutput);
    // The audio-file decoder goes last: it is the fallback tag reader.
    m_pluginRegistry = std::make_shared<PluginRegistry>(QList<SourcePluginPtr>(), QList<DecoderPluginPtr>());
    m_pluginRegistry->registerDecoder(std::make_shared<GMEDecoderPlugin>());
    m_pluginRegistry->registerDecoder(std::make_shared<MikmodDecoderPlugin>());
    m_pluginRegistry->registerDecoder(std::make_shared<CoreAudioDecoderPlugin>(8192));
    const MetadataExtractorPtr extractor = m_pluginRegistry->buildCompositeMetadataExtractor();
    m_localFileSource = std::make_shared<LocalFileSourcePlugin>(
        m_database, extractor, m_pluginRegistry->multiTrackScanners(), m_pluginRegistry->allSupportedExtensions());
    m_pluginRegistry->registerSource(m_localFileSource);
    m_trackResolver = std::make_shared<TrackResolver>(m_pluginRegistry, extractor);
    m_playContext = std::make_unique<PlayContext>(*m_player, m_trackResolver);
}

void AppState::setPlaylistLibrary(std::unique_ptr<PlaylistLibrary> library)
{
    if (!library || library == m_playlistLibrary)
        return;
    // The old library goes only after everybody has been told.
    std::unique_ptr<PlaylistLibrary> old = std::exchange(m_playlistLibrary, std::move(library));
    m_playlistQueue->setPlaylistLibrary(*m_playlistLibrary);
    emit playlistLibraryChanged();
}

void AppState::databaseChecked(const std::optional<QString>& notice, std::exception_ptr error)
{
    if (error && isCancellation(error))
        return;
    if (error) {
        logError(lcApp(), describeException(error));
        m_scanErrors->setScanError(error);
    } else if (notice) {
        logError(lcApp(), *notice);
        // The check's thread has stored the notice already.
        m_scanErrors->tellStartupProblems({*notice});
    }
}

void AppState::loadPlaylists()
{
    try {
        m_playlistLibrary->load();
    } catch (...) {
        logError(lcApp(), QStringLiteral("Failed to load playlists: ") + describeException(std::current_exception()));
        m_scanErrors->setScanError(std::current_exception());
    }
}

void AppState::pauseForSleep()
{
    if (m_playContext->transportState().isPlaying())
        m_playContext->execute(PlaybackCommand::pause());
}

void AppState::prepareToQuit()
{
    // A page check would hold up the quit for seconds on a large index.
    m_database->stopFileCheck();
    m_audioOutput->fadeOutSync(quitFadeSeconds);
    savePlaybackState();
    m_settings->sync();
}

void AppState::savePlaybackState()
{
    SavedPlaybackState::of(*m_playContext).save(*m_settings);
}

} // namespace vessa
