#pragma once

// Resident memory of the benchmark's own process.

#include <QByteArray>
#include <QFile>

namespace vessa::bench {

// A field of /proc/self/status given in kB ("VmRSS:"), in MB (1 MB = 1024
// KiB); -1 when unknown.
inline double statusMegabytes(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// VmRSS of this process in MB.
inline double residentMegabytes()
{
    return statusMegabytes(QByteArrayLiteral("VmRSS:"));
}

// VmHWM, the most this process has held resident so far, in MB.
inline double peakResidentMegabytes()
{
    return statusMegabytes(QByteArrayLiteral("VmHWM:"));
}

} // namespace vessa::bench
