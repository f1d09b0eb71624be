#pragma once

#include <QProcess>
#include <QStringList>

namespace vessa::test {

// Runs the `ffmpeg` command-line tool (quiet, overwriting) to make audio
// fixtures. Returns an empty text on success, else what went wrong.
inline QString runFfmpeg(const QStringList& arguments, int timeoutMs = 120000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ffmpeg"),
                  QStringList{"-hide_banner", "-nostdin", "-loglevel", "error", "-y"} + arguments);
    if (!process.waitForFinished(timeoutMs)) // the destructor stops one still running
        return QStringLiteral("ffmpeg did not run: ") + process.errorString();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("ffmpeg failed: ") + QString::fromUtf8(process.readAll());
    return {};
}

} // namespace vessa::test
