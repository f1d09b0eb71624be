#pragma once

namespace vessa {

// Who asked for a scan. Only a scan the user asked for (Settings > Rescan)
// reads again the files refused before (not audio, damaged, or unreadable at
// the time, say for an I/O error on a network share); the scans at start-up,
// after a folder is added and those the folder watcher asks for leave them
// be while their size and date stay the same.
enum class ScanTrigger { automatic, user };

} // namespace vessa
