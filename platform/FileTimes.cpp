#include "platform/FileTimes.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace pw {

namespace {

constexpr qint64 TicksPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr qint64 UnixEpochSeconds = 11'644'473'600;
constexpr double MsPerDay = 86'400'000.0;

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
qint64 daysFromCivil(qint64 y, unsigned m, unsigned d) {
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<qint64>(doe) - 719468;
}

// 1899-12-30 counted from 1970-01-01.
const qint64 ZeroDay = daysFromCivil(1899, 12, 30);

bool localTime(TFileTime fileTime, struct tm& out, int& millisecond) {
    const struct timespec ts = TimespecFromFileTime(fileTime);
    millisecond = static_cast<int>(ts.tv_nsec / 1'000'000);
    return localtime_r(&ts.tv_sec, &out) != nullptr;
}

} // namespace

TDateTime EncodeDate(int year, int month, int day) {
    return static_cast<double>(
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - ZeroDay);
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    const qint64 ms = ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond;
    return static_cast<double>(ms) / MsPerDay;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
    return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, millisecond);
}

TDateTime DatePart(TDateTime value) {
    return std::trunc(value);
}

TDateTime TimePart(TDateTime value) {
    return value - std::trunc(value);
}

TFileTime FileTimeFromTimespec(std::time_t seconds, long nanoseconds) {
    const qint64 s = static_cast<qint64>(seconds) + UnixEpochSeconds;
    if (s < 0) return 0; // before 1601: the earliest file time
    return static_cast<TFileTime>(s) * TicksPerSecond + static_cast<TFileTime>(nanoseconds / 100);
}

struct timespec TimespecFromFileTime(TFileTime fileTime) {
    struct timespec ts {};
    ts.tv_sec =
        static_cast<std::time_t>(static_cast<qint64>(fileTime / TicksPerSecond) - UnixEpochSeconds);
    ts.tv_nsec = static_cast<long>(fileTime % TicksPerSecond) * 100;
    return ts;
}

TDateTime FileTimeToLocalDateTime(TFileTime fileTime) {
    struct tm t {};
    int ms = 0;
    if (!localTime(fileTime, t, ms)) return 0;
    return EncodeDateTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                          ms);
}

TDosDateTime FileTimeToDosDateTime(TFileTime fileTime) {
    struct tm t {};
    int ms = 0;
    if (!localTime(fileTime, t, ms)) return 0;
    const int year = t.tm_year + 1900;
    if (year < 1980) return (1u << 5 | 1u) << 16; // 1980-01-01 00:00:00
    if (year > 2107) return (127u << 9 | 12u << 5 | 31u) << 16 | (23u << 11 | 59u << 5 | 29u);
    const auto date = static_cast<quint32>((year - 1980) << 9 | (t.tm_mon + 1) << 5 | t.tm_mday);
    const auto time =
        static_cast<quint32>(t.tm_hour << 11 | t.tm_min << 5 | std::min(t.tm_sec, 59) / 2);
    return date << 16 | time;
}

TDateTime DosDateTimeToDateTime(TDosDateTime packed) {
    const quint32 date = packed >> 16;
    const quint32 time = packed & 0xFFFF;
    return EncodeDateTime(static_cast<int>((date >> 9) + 1980), static_cast<int>((date >> 5) & 15),
                          static_cast<int>(date & 31), static_cast<int>(time >> 11),
                          static_cast<int>((time >> 5) & 63), static_cast<int>((time & 31) * 2), 0);
}

TDateTime Now() {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return FileTimeToLocalDateTime(FileTimeFromTimespec(ts.tv_sec, ts.tv_nsec));
}

} // namespace pw
