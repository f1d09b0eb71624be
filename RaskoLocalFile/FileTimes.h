#pragma once

#include <QDateTime>

#include <filesystem>

namespace vessa {

// The date that stands for "the file system gave no date":
// 0001-01-01 00:00:00 UTC, earlier than any real file's date.
QDateTime distantPast();

// Seconds since 1970-01-01 00:00 UTC, with millisecond precision; an invalid
// date counts as distantPast().
double secondsSince1970(const QDateTime& date);

// The inverse of secondsSince1970(); a value that is not finite gives
// distantPast(), and values beyond any real date are clamped.
QDateTime dateFromSecondsSince1970(double seconds);

// A std::filesystem time stamp as a UTC date, to the millisecond.
QDateTime dateFromFileTime(std::filesystem::file_time_type time);

} // namespace vessa
