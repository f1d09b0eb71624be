#pragma once

#include <QByteArray>
#include <QString>

#include <mutex>
#include <optional>
#include <utility>

struct MODULE;

namespace vessa {

class OrderPositionHistory;

// A loaded libmikmod module, freed with Player_Free (under the library lock)
// when the handle goes. Never destroy or reset one while holding the lock.
class MikmodModule {
public:
    MikmodModule() = default;
    explicit MikmodModule(MODULE* module) : m_module(module) {}
    ~MikmodModule();

    MikmodModule(MikmodModule&& other) noexcept : m_module(std::exchange(other.m_module, nullptr)) {}
    MikmodModule& operator=(MikmodModule&& other) noexcept;
    MikmodModule(const MikmodModule&) = delete;
    MikmodModule& operator=(const MikmodModule&) = delete;

    MODULE* get() const { return m_module; }
    explicit operator bool() const { return m_module != nullptr; }
    void reset();

    // The module's song name and type ("songname", "modtype"), decoded as
    // UTF-8 with invalid sequences replaced; nothing when null.
    std::optional<QString> songName() const;
    std::optional<QString> moduleType() const;

private:
    MODULE* m_module = nullptr;
};

// The process-wide side of libmikmod. The library keeps one current module,
// one mixer and one output driver for the whole process, so every call into
// it, from any thread (open, seek and extract on the callers' background
// threads, rendering on each stream's consumer thread), is made while holding
// lock(). The registration and initialisation flags are guarded by it too.
class MikmodLibrary {
public:
    enum class LoadPurpose {
        playback,   // the module will be started: the mixer's voices are set up for it
        inspection, // the module is only read and freed: the mixer is left alone
    };

    static std::mutex& lock();

    // Initialises the library on first use (the output driver, the loaders
    // and the tick watcher are registered once per process; a failed
    // MikMod_Init is tried again next time) and loads a module from memory
    // with wrapping and looping off. Takes the lock. Throws MikmodError.
    static MikmodModule load(const QByteArray& bytes, LoadPurpose purpose);

    // One MikMod_Update while `history` watches the ticks of `module`, which
    // must be the current module. Caller holds lock().
    static void updateLocked(MODULE* module, OrderPositionHistory& history);

private:
    static void ensureInitializedLocked();
};

} // namespace vessa
