#pragma once

// Resident memory of the benchmark's own process.

#include <QByteArray>
#include <QFile>

namespace vessa::bench {

// VmRSS of this process in MB (1 MB = 1024 KiB); -1 when unknown.
inline double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

} // namespace vessa::bench
