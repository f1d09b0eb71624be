#pragma once

#include <sys/fsuid.h>
#include <unistd.h>

namespace vessa::test {

// While alive, this thread opens and checks files as the unprivileged user
// "nobody" when the test runs as root: a file-system user id other than 0
// drops the superuser's right to ignore permissions, so a test of a closed
// file or folder means the same under root (as in CI) as under a user. The
// folders on the way must let others through. Nothing changes for a user.
class UnprivilegedFileAccess {
public:
    UnprivilegedFileAccess()
    {
        if (geteuid() != 0)
            return;
        setfsgid(nobody);
        setfsuid(nobody);
        m_dropped = true;
    }
    ~UnprivilegedFileAccess()
    {
        if (!m_dropped)
            return;
        setfsuid(0);
        setfsgid(0);
    }
    UnprivilegedFileAccess(const UnprivilegedFileAccess&) = delete;
    UnprivilegedFileAccess& operator=(const UnprivilegedFileAccess&) = delete;

private:
    static constexpr unsigned nobody = 65534;
    bool m_dropped = false;
};

} // namespace vessa::test
