#pragma once

#include <QByteArray>
#include <QString>

#include <string>

namespace vessa::test {

// Lets a test row run in a process in which the system refuses new threads,
// as under a limit on processes or a cgroup's pids.max. The row runs again in
// a child process of the test program: in the pids cgroup of its own that the
// parent makes where it can (a limit that binds root too), else under
// RLIMIT_NPROC (which binds everyone but root). A test function begins with
//
//     VESSA_IN_CHILD_WITH_REFUSABLE_THREADS();
//
// which, in the parent, runs the current row in the child, passes on its
// verdict (with its output) and returns; in the child it does nothing. There
// a RefusedThreads object refuses every new thread from its construction
// until lift() or its end (the child skips when no limit takes effect).
class RefusedThreads {
public:
    RefusedThreads();
    ~RefusedThreads();
    RefusedThreads(const RefusedThreads&) = delete;
    RefusedThreads& operator=(const RefusedThreads&) = delete;

    // Threads may start again / are refused again.
    void lift();
    void impose();
    // Lets `count` more threads start, then refuses again; false where the
    // limit cannot count them (the process limit, which counts the user's).
    bool allowOnly(int count);

    // The process is such a child.
    static bool inChild();
    // What a ThreadStartError for a thread the limit refused says.
    static QString refusalText();

    struct ChildRun {
        enum class Result { passed, failed, skipped };
        Result result = Result::failed;
        QByteArray output;
    };
    // The parent: runs the current test function's current row in a child
    // and waits for it, at most `timeoutSeconds`.
    static ChildRun runCurrentRowInChild(int timeoutSeconds = 60);

private:
    std::string m_limit; // the cgroup's folder, or "-" for the process limit
};

} // namespace vessa::test

#define VESSA_IN_CHILD_WITH_REFUSABLE_THREADS()                                                                        \
    do {                                                                                                               \
        if (!::vessa::test::RefusedThreads::inChild()) {                                                               \
            const ::vessa::test::RefusedThreads::ChildRun run = ::vessa::test::RefusedThreads::runCurrentRowInChild(); \
            if (run.result == ::vessa::test::RefusedThreads::ChildRun::Result::skipped)                                \
                QSKIP(run.output.constData());                                                                         \
            QVERIFY2(run.result == ::vessa::test::RefusedThreads::ChildRun::Result::passed, run.output.constData());   \
            return;                                                                                                    \
        }                                                                                                              \
    } while (false)
