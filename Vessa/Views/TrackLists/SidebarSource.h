#pragma once

#include <QHashFunctions>
#include <QString>

namespace vessa {

// What the main window's sidebar has chosen to show: the whole local library,
// one music folder (by its path), the Starred playlist, or a user playlist (by
// its name).
class SidebarSource {
public:
    enum class Kind { localFiles, folder, starred, playlist };

    static SidebarSource localFiles() { return SidebarSource(Kind::localFiles, QString()); }
    static SidebarSource folder(const QString& path) { return SidebarSource(Kind::folder, path); }
    static SidebarSource starred() { return SidebarSource(Kind::starred, QString()); }
    static SidebarSource playlist(const QString& name) { return SidebarSource(Kind::playlist, name); }

    Kind kind() const { return m_kind; }
    // The folder's path or the playlist's name; empty for the other kinds.
    const QString& payload() const { return m_payload; }
    // Starred and user playlists show a playlist rather than library tracks.
    bool showsPlaylist() const { return m_kind == Kind::starred || m_kind == Kind::playlist; }

    friend bool operator==(const SidebarSource&, const SidebarSource&) = default;

private:
    SidebarSource(Kind kind, QString payload) : m_kind(kind), m_payload(std::move(payload)) {}

    Kind m_kind;
    QString m_payload;
};

// The kind's position, then the payload.
size_t qHash(const SidebarSource& source, size_t seed = 0) noexcept;

} // namespace vessa
