#pragma once

// A small tmpfs, or a folder bound from elsewhere (`mount --bind`), mounted
// on a folder (made when missing) while the object lives: a drive or share
// that can be unmounted under a music folder. Only a process with the right
// to mount (as a rule root) can; tests skip otherwise, saying why.

#include <QDir>
#include <QFile>
#include <QString>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>

namespace vessa::test {

class TmpfsMount {
public:
    explicit TmpfsMount(QString folder) : m_folder(std::move(folder)) {}
    ~TmpfsMount()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    // Mounts an empty tmpfs; false, with error() saying why, when it cannot.
    bool mount()
    {
        QDir().mkpath(m_folder);
        const bool mounted = m_bindSource.isEmpty()
                                 ? ::mount("tmpfs", QFile::encodeName(m_folder).constData(), "tmpfs", 0, "size=4m") == 0
                                 : ::mount(QFile::encodeName(m_bindSource).constData(),
                                           QFile::encodeName(m_folder).constData(), nullptr, MS_BIND, nullptr)
                                       == 0;
        if (!mounted) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        m_mounted = true;
        return true;
    }
    // From now on mount() binds the folder `source` (made when missing), on
    // the same disk as a rule, instead of mounting a tmpfs.
    void bindFrom(const QString& source)
    {
        QDir().mkpath(source);
        m_bindSource = source;
    }
    // Unmounts it; its files go with it (a bound folder keeps them) and the
    // folder stays, empty.
    bool unmount()
    {
        if (m_mounted && ::umount2(QFile::encodeName(m_folder).constData(), 0) != 0) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        m_mounted = false;
        return true;
    }
    // Why mount() failed, for the skip message.
    QString skipReason() const
    {
        return QStringLiteral("cannot mount on %1 (%2): mounting needs root").arg(m_folder, m_error);
    }

private:
    QString m_folder;
    QString m_bindSource;
    QString m_error;
    bool m_mounted = false;
};

} // namespace vessa::test
