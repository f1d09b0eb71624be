#include "tests/support/RefusedThreads.h"

#include "VessaCore/ThreadStart.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
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
rlimit savedProcessLimit{};

// A pids cgroup for one child, or "-" where none can be made here.
QString makeCgroup()
{
    static int made = 0;
    for (const char* const base : {"/sys/fs/cgroup/pids", "/sys/fs/cgroup"}) {
        const QString folder = QStringLiteral("%1/vessa-test-%2-%3").arg(QLatin1String(base)).arg(getpid()).arg(++made);
        if (QDir().mkdir(folder) && QFile::exists(folder + QStringLiteral("/pids.max")))
            return folder;
        QDir().rmdir(folder);
    }
    return QStringLiteral("-");
}

} // namespace

RefusedThreads::RefusedThreads() : m_limit(qEnvironmentVariable(limitVariable).toStdString())
{
    if (m_limit != "-")
        std::ofstream(m_limit + "/cgroup.procs") << getpid() << std::flush;
    else
        getrlimit(RLIMIT_NPROC, &savedProcessLimit);
    impose();
    try {
        std::thread([] {}).join();
    } catch (const std::system_error&) {
        return;
    }
    lift();
    std::printf("the limit on threads is not in force here\n");
    std::fflush(stdout);
    std::_Exit(77);
}

void RefusedThreads::impose()
{
    // Below what the process has: not even a thread that ends meanwhile
    // makes room for another.
    const rlimit none{1, savedProcessLimit.rlim_max};
    if (m_limit != "-")
        std::ofstream(m_limit + "/pids.max") << 1 << std::flush;
    else
        setrlimit(RLIMIT_NPROC, &none);
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
        setrlimit(RLIMIT_NPROC, &savedProcessLimit);
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

void RefusedThreads::runCurrentRowInChild()
{
    const QString cgroup = makeCgroup();
    if (cgroup == QStringLiteral("-") && geteuid() == 0)
        QSKIP("root, whom the process limit does not bind, and no pids cgroup to limit the threads");
    QString row = QString::fromLatin1(QTest::currentTestFunction());
    if (const char* const tag = QTest::currentDataTag())
        row += u':' + QString::fromUtf8(tag);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(limitVariable), cgroup);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {row});
    const bool ended = child.waitForFinished(60'000);
    // Its last words: QtTest cuts a verdict's text at about a thousand characters.
    const QByteArray output = (ended ? "" : "the child did not end in time:\n...") + child.readAll().right(800);
    child.kill();
    child.waitForFinished();
    if (cgroup != QStringLiteral("-"))
        QDir().rmdir(cgroup);
    if (ended && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 77)
        QSKIP(output.constData());
    QVERIFY2(ended && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
}

} // namespace vessa::test
