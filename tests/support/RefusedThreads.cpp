#include "tests/support/RefusedThreads.h"

#include "VessaCore/ThreadStart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>
#include <thread>

namespace vessa::test {

namespace {

const char* const limitVariable = "VESSA_TEST_REFUSED_THREADS";

rlimit& savedProcessLimit()
{
    static rlimit limit{};
    return limit;
}

bool threadStarts()
{
    try {
        std::thread([] {}).join();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// A pids cgroup for one child, or "-" where none can be made here.
QString makeCgroup()
{
    static int made = 0;
    for (const char* const base : {"/sys/fs/cgroup/pids", "/sys/fs/cgroup"}) {
        const QString folder = QStringLiteral("%1/vessa-test-%2-%3").arg(QLatin1String(base)).arg(getpid()).arg(++made);
        if (!QDir().mkdir(folder))
            continue;
        if (QFile::exists(folder + QStringLiteral("/pids.max")))
            return folder;
        QDir().rmdir(folder);
    }
    return QStringLiteral("-");
}

} // namespace

RefusedThreads::RefusedThreads() : m_limit(qEnvironmentVariable(limitVariable).toStdString())
{
    if (m_limit.empty()) {
        std::printf("RefusedThreads used outside VESSA_IN_CHILD_WITH_REFUSABLE_THREADS()\n");
        std::_Exit(1);
    }
    if (m_limit != "-")
        std::ofstream(m_limit + "/cgroup.procs") << getpid() << std::flush;
    else
        getrlimit(RLIMIT_NPROC, &savedProcessLimit());
    impose();
    if (threadStarts()) {
        lift();
        std::printf("the limit on threads is not in force here\n");
        std::fflush(stdout);
        std::_Exit(77);
    }
}

RefusedThreads::~RefusedThreads()
{
    // The sanitizers' checks at the end start a thread.
    lift();
}

void RefusedThreads::impose()
{
    // Below what the process has: not even a thread that ends meanwhile
    // makes room for another.
    if (m_limit != "-") {
        std::ofstream(m_limit + "/pids.max") << 1 << std::flush;
    } else {
        const rlimit none{1, savedProcessLimit().rlim_max};
        setrlimit(RLIMIT_NPROC, &none);
    }
}

bool RefusedThreads::allowOnly(int count)
{
    if (m_limit == "-")
        return false;
    long long current = 0;
    std::ifstream(m_limit + "/pids.current") >> current;
    std::ofstream(m_limit + "/pids.max") << current + count << std::flush;
    return true;
}

void RefusedThreads::lift()
{
    if (m_limit != "-")
        std::ofstream(m_limit + "/pids.max") << "max" << std::flush;
    else
        setrlimit(RLIMIT_NPROC, &savedProcessLimit());
}

QString RefusedThreads::refusalText()
{
    return ThreadStartError(std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)))
        .description();
}

bool RefusedThreads::inChild()
{
    return qEnvironmentVariableIsSet(limitVariable);
}

RefusedThreads::ChildRun RefusedThreads::runCurrentRowInChild(int timeoutSeconds)
{
    ChildRun run;
    const QString cgroup = makeCgroup();
    const auto removeCgroup = qScopeGuard([&cgroup] {
        if (cgroup != QStringLiteral("-"))
            QDir().rmdir(cgroup);
    });
    if (cgroup == QStringLiteral("-") && geteuid() == 0) {
        run.result = ChildRun::Result::skipped;
        run.output = "root, whom the process limit does not bind, and no pids cgroup to limit the threads";
        return run;
    }
    QString row = QString::fromLatin1(QTest::currentTestFunction());
    if (const char* const tag = QTest::currentDataTag())
        row += u':' + QString::fromUtf8(tag);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(limitVariable), cgroup);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {row});
    if (!child.waitForFinished(timeoutSeconds * 1000)) {
        child.kill();
        child.waitForFinished();
        run.output = "the child did not end in time:\n" + child.readAll();
        return run;
    }
    run.output = child.readAll();
    if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == 77)
        run.result = ChildRun::Result::skipped;
    else if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0)
        run.result = ChildRun::Result::passed;
    return run;
}

} // namespace vessa::test
