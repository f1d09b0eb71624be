#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vessa {

// The system's table of what is mounted where, as this process sees it. It
// names every mount point, also one whose device number tells nothing: a
// folder bound from the same disk (`mount --bind`) lies on the device of the
// folder above it.
//
// Stateless; any thread.
namespace MountTable {

// The file that lists the mounts. Polled for POLLPRI, it reports each change
// of the table (POLLPRI | POLLERR) once per change.
inline constexpr char path[] = "/proc/self/mountinfo";

// The mount points in the text of `path`, in its order, with the escapes
// the kernel writes for blanks, tabs, line breaks and backslashes ("\040"
// and so on) decoded. Lines that are not complete are left out.
QStringList parse(QByteArrayView mountInfo);

// The mount points now; nothing when the table cannot be read.
std::optional<QStringList> read();

// The path `path` leads to, links resolved; empty when it cannot be resolved
// (nothing there, or no right to look).
QString canonicalPath(const QString& path);

using Resolve = std::function<QString(const QString& path)>;

// The mount points among `mountPoints` that are one of `folders` or lie
// below one, each named from its folder as given (without trailing
// slashes), as a scan of the folder names it, in the table's order; a
// folder mounted on twice (one mount hiding another) is listed twice. The
// table names mount points by the paths that folders given through a link
// lead to; `resolve` says which path a folder leads to.
QStringList atOrBelow(const QStringList& mountPoints, const QStringList& folders,
                      const Resolve& resolve = &canonicalPath);

} // namespace MountTable

} // namespace vessa
