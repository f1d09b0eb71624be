#include "RaskoGME/GMEEmu.h"

#include "RaskoGME/GMEError.h"

#include <algorithm>
#include <cmath>
#include <limits>

// Last: libgme's header leaves macros behind that GMELibrary.h takes back.
#include "RaskoGME/GMELibrary.h"

namespace vessa {

namespace {

void throwIfError(gme_err_t error)
{
    if (error)
        throw GMEError::gmeError(QString::fromUtf8(error));
}

// Absent for a missing or empty text; invalid UTF-8 becomes U+FFFD.
std::optional<QString> infoText(const char* text)
{
    if (!text || !*text)
        return std::nullopt;
    return QString::fromUtf8(text);
}

} // namespace

void GMEEmu::Deleter::operator()(Music_Emu* emu) const noexcept
{
    gme_delete(emu);
}

GMEEmu GMEEmu::open(const QByteArray& data, const std::optional<QString>& fileExtension, int sampleRate)
{
    const void* bytes = data.constData();
    const long count = static_cast<long>(data.size());

    if (fileExtension && !fileExtension->isEmpty()) {
        const QString dotted = fileExtension->startsWith(u'.') ? *fileExtension : u'.' + *fileExtension;
        if (gme_type_t type = gme_identify_extension(dotted.toUtf8().constData())) {
            GMEEmu emu(gme_new_emu(type, sampleRate));
            if (!emu.m_emu)
                throw GMEError::openFailed();
            throwIfError(gme_load_data(emu.m_emu.get(), bytes, count));
            return emu;
        }
    }

    Music_Emu* opened = nullptr;
    const gme_err_t error = gme_open_data(bytes, count, &opened, sampleRate);
    GMEEmu emu(opened);
    throwIfError(error);
    if (!emu.m_emu)
        throw GMEError::openFailed();
    return emu;
}

int GMEEmu::trackCount() const
{
    return gme_track_count(m_emu.get());
}

std::optional<GMETrackInfo> GMEEmu::trackInfo(int index) const
{
    gme_info_t* raw = nullptr;
    const gme_err_t error = gme_track_info(m_emu.get(), &raw, index);
    const std::unique_ptr<gme_info_t, decltype(&gme_free_info)> info(raw, &gme_free_info);
    throwIfError(error);
    if (!info)
        return std::nullopt;
    return GMETrackInfo{info->play_length, infoText(info->song), infoText(info->author), infoText(info->game)};
}

void GMEEmu::setAutoloadPlaybackLimit(bool enabled)
{
    gme_set_autoload_playback_limit(m_emu.get(), enabled ? 1 : 0);
}

void GMEEmu::startTrack(int index)
{
    throwIfError(gme_start_track(m_emu.get(), index));
}

void GMEEmu::setFade(int startMilliseconds)
{
    gme_set_fade(m_emu.get(), startMilliseconds);
}

void GMEEmu::seek(int milliseconds)
{
    throwIfError(gme_seek(m_emu.get(), milliseconds));
}

void GMEEmu::play(std::span<std::int16_t> interleavedStereo)
{
    throwIfError(gme_play(m_emu.get(), static_cast<int>(interleavedStereo.size()), interleavedStereo.data()));
}

bool GMEEmu::trackEnded() const
{
    return gme_track_ended(m_emu.get()) != 0;
}

int GMEEmu::millisecondsFor(double seconds)
{
    const double milliseconds = std::trunc(seconds * 1000.0);
    if (!(milliseconds > 0.0))
        return 0;
    if (milliseconds >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return static_cast<int>(milliseconds);
}

} // namespace vessa
