#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace vessa::test {

// Runs the `ffmpeg` command-line tool (quiet, overwriting) to make audio
// fixtures. Returns an empty text on success, else what went wrong.
inline QString runFfmpeg(const QStringList& arguments, int timeoutMs = 120000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ffmpeg"),
                  QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                              QStringLiteral("error"), QStringLiteral("-y")}
                      + arguments);
    if (!process.waitForStarted(timeoutMs))
        return QStringLiteral("ffmpeg did not start: ") + process.errorString();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return QStringLiteral("ffmpeg did not finish in time");
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("ffmpeg failed: ") + QString::fromUtf8(process.readAll());
    return {};
}

} // namespace vessa::test
