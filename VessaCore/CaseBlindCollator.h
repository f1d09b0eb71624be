#pragma once

#include <QCollator>

namespace vessa {

// A collator of the current locale that ignores letter case: the order of
// the track lists' text columns and of the playlists. The C and POSIX
// locales have no collation of their own (their sort keys are the bare code
// points, capitals first), so they collate as English, which keeps to the
// neutral order.
//
// Threads: any; a collator is not shared between threads, so each takes one
// of its own.
QCollator caseBlindCollator();

} // namespace vessa
