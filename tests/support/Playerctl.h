#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

namespace vessa::test {

// Runs playerctl on the player "vessa" while the event loop keeps the
// program's bridge answering; its output, trimmed.
inline QString playerctl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("playerctl"), QStringList{QStringLiteral("--player=vessa")} + arguments);
    if (!process.waitForStarted(10000))
        return QStringLiteral("(playerctl did not start)");
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 10000)) {
        process.kill();
        process.waitForFinished();
        return QStringLiteral("(playerctl hung)");
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

} // namespace vessa::test
