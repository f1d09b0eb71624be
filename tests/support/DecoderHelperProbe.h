#pragma once

// What the decoder helpers of a test process are doing, seen through /proc:
// the helpers are its children and the workers they fork for each operation
// its grandchildren. And a plug-in's helper operation stopped at a chosen
// moment. Header-only.

#include "Rasko/DecoderPlugin.h"
#include "VessaCore/Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTest>

#include <functional>
#include <stop_token>
#include <thread>

namespace vessa::test {

struct ProcessStatus {
    qint64 pid = 0;
    qint64 parent = 0;
    QByteArray state;
};

inline QList<ProcessStatus> processTable()
{
    QList<ProcessStatus> table;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/") + pid + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // pid (comm) state ppid ...
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            table.append({pid.toLongLong(), fields[1].toLongLong(), fields[0]});
    }
    return table;
}

// Child processes of this one that ended and were never reaped.
inline int zombieChildren()
{
    int zombies = 0;
    for (const ProcessStatus& process : processTable())
        zombies += process.parent == QCoreApplication::applicationPid() && process.state == "Z";
    return zombies;
}

// The workers of this process's helpers: its grandchildren.
inline QSet<qint64> helperWorkers()
{
    const QList<ProcessStatus> table = processTable();
    QSet<qint64> children, workers;
    for (const ProcessStatus& process : table) {
        if (process.parent == QCoreApplication::applicationPid())
            children.insert(process.pid);
    }
    for (const ProcessStatus& process : table) {
        if (children.contains(process.parent))
            workers.insert(process.pid);
    }
    return workers;
}

enum class StopMoment {
    never,
    beforeTheCall,
    whileAWorkerWorks, // once a helper forked a new worker for the operation
};

// Runs `operation` with a stop token on a thread of its own and stops it at
// `moment`: the description of the Error it ends with, "no error" when it
// succeeds.
inline QString failureWhenStopped(StopMoment moment, const std::function<void(std::stop_token)>& operation)
{
    std::stop_source source;
    if (moment == StopMoment::beforeTheCall)
        source.request_stop();
    const QSet<qint64> workersBefore = helperWorkers();
    QString failure = QStringLiteral("no error");
    std::jthread call([&] {
        try {
            operation(moment == StopMoment::never ? std::stop_token() : source.get_token());
        } catch (const Error& error) {
            failure = error.description();
        }
    });
    bool workerSeen = true;
    if (moment == StopMoment::whileAWorkerWorks) {
        workerSeen = QTest::qWaitFor([&] { return !(helperWorkers() - workersBefore).isEmpty(); }, 10000);
        source.request_stop();
    }
    call.join();
    return workerSeen ? failure : QStringLiteral("no worker was seen at work");
}

// The same for an operation of a plug-in that runs its library in the
// helper: "open" of `locator`, "seek" to `seconds` of a stream of it that
// plays meanwhile, or "extract" of its tags.
template <typename Plugin>
QString failureWhenStopped(StopMoment moment, Plugin& plugin, const QString& operation, const SourceLocator& locator,
                           double seconds = 0)
{
    std::optional<AudioStream> playing;
    if (operation == QStringLiteral("seek"))
        playing.emplace(plugin.open(locator, {}, DecoderHints()));
    return failureWhenStopped(moment, [&](std::stop_token stop) {
        if (operation == QStringLiteral("open"))
            plugin.open(locator, {}, DecoderHints(false, std::nullopt, stop));
        else if (playing)
            playing->seek(seconds, stop);
        else
            plugin.extractWithStop(locator, {}, stop);
    });
}

} // namespace vessa::test
