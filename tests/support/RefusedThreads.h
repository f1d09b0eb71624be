#pragma once

#include <QString>

#include <string>

namespace vessa::test {

// Lets a test row run in a process in which the system refuses new threads,
// as under a limit on processes or a cgroup's pids.max: a child process of
// the test program, in a pids cgroup of its own where the parent can make one
// (a limit that binds root too), else under RLIMIT_NPROC (which binds
// everyone but root). A test function begins with
//
//     VESSA_IN_CHILD_WITH_REFUSABLE_THREADS();
//
// which, in the parent, runs the current row in the child, takes over its
// verdict and returns; in the child it does nothing. There a RefusedThreads
// object refuses every new thread from its construction until lift() or its
// end (the child skips when no limit takes effect).
class RefusedThreads {
public:
    RefusedThreads();
    ~RefusedThreads() { lift(); } // the sanitizers' checks at the end start a thread
    RefusedThreads(const RefusedThreads&) = delete;
    RefusedThreads& operator=(const RefusedThreads&) = delete;

    void lift();
    void impose();
    // Lets `count` more threads start, then refuses again; false where the
    // limit cannot count them (the process limit, which counts the user's).
    bool allowOnly(int count);

    // What a ThreadStartError for a thread the limit refused says.
    static QString refusalText();
    static bool inChild();
    // The parent: runs the current row in a child and records its verdict.
    static void runCurrentRowInChild();

private:
    std::string m_limit; // the cgroup's folder, or "-" for the process limit
};

} // namespace vessa::test

#define VESSA_IN_CHILD_WITH_REFUSABLE_THREADS()                                                                        \
    do {                                                                                                               \
        if (!::vessa::test::RefusedThreads::inChild())                                                                 \
            return ::vessa::test::RefusedThreads::runCurrentRowInChild();                                              \
    } while (false)
