#include "RaskoMikmod/MikmodLibrary.h"

#include "RaskoMikmod/MikmodError.h"
#include "RaskoMikmod/OrderPositionHistory.h"
#include "RaskoMikmod/mikmod_buffer_driver.h"

#include <QCoreApplication>
#include <climits>

#include <mikmod.h>

namespace vessa {

namespace {

constexpr UWORD mixingMode = DMODE_16BITS | DMODE_STEREO | DMODE_SOFT_SNDFX | DMODE_SOFT_MUSIC | DMODE_INTERP;
static_assert(mixingMode == 0x20F);
constexpr UWORD mixingRate = 44100;
constexpr int playbackChannelLimit = 128;

// Guarded by MikmodLibrary::lock().
bool registered = false;
bool initialized = false;
MikMod_player_t libraryPlayer = nullptr;
MODULE* watchedModule = nullptr;
OrderPositionHistory* watchedHistory = nullptr;

OrderPositionHistory::TickState tickState(const MODULE* module)
{
    OrderPositionHistory::TickState state;
    state.position = module->sngpos;
    state.pendingJump = module->posjmp;
    state.row = module->patpos;
    state.tick = module->vbtick;
    state.playing = !module->forbid && module->sngpos < module->numpos;
    return state;
}

// Runs in place of libmikmod's tick handler, inside MikMod_Update (which
// holds the library's own mutex, so no locking library call may be made
// here). The watched module is the current one: updateLocked's caller
// checked that under the lock.
void watchingPlayer()
{
    MODULE* module = watchedModule;
    if (!module || !watchedHistory) {
        libraryPlayer();
        return;
    }
    const auto before = tickState(module);
    libraryPlayer();
    watchedHistory->observeTick(before, tickState(module));
}

// The library's text for its last error, empty when it gives none. Callers
// clear MikMod_errno before the failing call, so a failure the library did not
// explain (it leaves the code at 0) never shows a stale or "No error" text.
QString libraryMessage()
{
    const char* text = MikMod_errno != 0 ? MikMod_strerror(MikMod_errno) : nullptr;
    return text ? QString::fromUtf8(text) : QString();
}

std::optional<QString> moduleText(const char* text)
{
    if (!text)
        return std::nullopt;
    return QString::fromUtf8(text);
}

} // namespace

MikmodModule::~MikmodModule()
{
    reset();
}

MikmodModule& MikmodModule::operator=(MikmodModule&& other) noexcept
{
    if (this != &other) {
        reset();
        m_module = std::exchange(other.m_module, nullptr);
    }
    return *this;
}

void MikmodModule::reset()
{
    if (!m_module)
        return;
    std::lock_guard guard(MikmodLibrary::lock());
    // Stops the module first when it is the current one; another stream's
    // current module is left playing.
    Player_Free(std::exchange(m_module, nullptr));
}

std::optional<QString> MikmodModule::songName() const
{
    return m_module ? moduleText(m_module->songname) : std::nullopt;
}

std::optional<QString> MikmodModule::moduleType() const
{
    return m_module ? moduleText(m_module->modtype) : std::nullopt;
}

std::mutex& MikmodLibrary::lock()
{
    static std::mutex mutex;
    return mutex;
}

void MikmodLibrary::ensureInitializedLocked()
{
    // A library that shut itself down (it does so when it runs out of memory
    // while resizing its mixer) has lost the driver's buffer: start it again.
    if (initialized && mikmod_buffer_get_data())
        return;
    if (!registered) {
        // Registering the loaders a second time would link their list into
        // a cycle, so this happens once per process, whatever MikMod_Init says.
        mikmod_buffer_driver_register();
        MikMod_RegisterAllLoaders();
        libraryPlayer = MikMod_RegisterPlayer(watchingPlayer);
        registered = true;
    }
    md_mode = mixingMode;
    md_mixfreq = mixingRate;
    MikMod_errno = 0;
    if (MikMod_Init(nullptr) != 0)
        throw MikmodError::initFailed(libraryMessage());
    initialized = true;
}

MikmodModule MikmodLibrary::load(const QByteArray& bytes, LoadPurpose purpose)
{
    if (bytes.size() > INT_MAX)
        throw MikmodError::loadFailed(QCoreApplication::translate("MikmodError", "The file is too large"));
    std::lock_guard guard(lock());
    ensureInitializedLocked();
    // Loading for playback sets the mixer's voice count for the module, which
    // cuts every voice of a module that is playing; an inspected module is
    // never started, so it leaves the mixer as it is.
    const int channelLimit = purpose == LoadPurpose::playback ? playbackChannelLimit : 0;
    MikMod_errno = 0;
    MODULE* module = Player_LoadMem(bytes.constData(), static_cast<int>(bytes.size()), channelLimit, 0);
    if (!module)
        throw MikmodError::loadFailed(libraryMessage());
    // Play the song once and end instead of starting over.
    module->wrap = 0;
    module->loop = 0;
    return MikmodModule(module);
}

void MikmodLibrary::updateLocked(MODULE* module, OrderPositionHistory& history)
{
    watchedModule = module;
    watchedHistory = &history;
    MikMod_Update();
    watchedModule = nullptr;
    watchedHistory = nullptr;
}

} // namespace vessa
