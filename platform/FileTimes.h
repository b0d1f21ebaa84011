#pragma once

#include <QtGlobal>

#include <ctime>

namespace pw {

// Days since 1899-12-30 00:00 local time; the fraction is the time of day (0.5 is noon).
using TDateTime = double;

// A file time: 100-nanosecond intervals since 1601-01-01 00:00 UTC, as the find data keeps it.
using TFileTime = quint64;

// Packed local time: date in the high 16 bits (years since 1980 << 9 | month << 5 | day), time in
// the low 16 bits (hour << 11 | minute << 5 | second / 2).
using TDosDateTime = quint32;

TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond);

// The whole-day part (truncated toward zero) and the time-of-day part of a value.
TDateTime DatePart(TDateTime value);
TDateTime TimePart(TDateTime value);

TFileTime FileTimeFromTimespec(std::time_t seconds, long nanoseconds);
// Seconds and nanoseconds since 1970-01-01 UTC of a file time.
struct timespec TimespecFromFileTime(TFileTime fileTime);

// Local date and time of a file time, with milliseconds (the C library's time zone rules).
TDateTime FileTimeToLocalDateTime(TFileTime fileTime);

// Local packed time of a file time; times outside 1980-2107 are clamped to that range.
TDosDateTime FileTimeToDosDateTime(TFileTime fileTime);
TDateTime DosDateTimeToDateTime(TDosDateTime packed);

// Local time now.
TDateTime Now();

} // namespace pw
