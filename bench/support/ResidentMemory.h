#pragma once

// Resident memory of the benchmark's own process.

#include <QByteArray>
#include <QFile>

namespace vessa::bench {

// A field of this process's status in MB (1 MB = 1024 KiB); -1 when unknown.
inline double statusMegabytes(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// VmRSS of this process in MB; -1 when unknown.
inline double residentMegabytes()
{
    return statusMegabytes("VmRSS");
}

// VmHWM, the most this process has held resident so far, in MB; -1 when unknown.
inline double peakResidentMegabytes()
{
    return statusMegabytes("VmHWM");
}

} // namespace vessa::bench
