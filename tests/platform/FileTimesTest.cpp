#include "platform/FileTimes.h"
#include "tests/support/LocalZone.h"

#include <gtest/gtest.h>

using namespace pw;
using pw::test::LocalZone;

TEST(FileTimes, DaysCountFromTheZeroDay) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
    EXPECT_EQ(EncodeDate(1970, 1, 1), 25569);
    EXPECT_EQ(EncodeDate(2024, 2, 29), 45351);
    EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(EncodeTime(6, 0, 0, 0), 0.25);
    EXPECT_EQ(DatePart(45351.75), 45351);
    EXPECT_EQ(TimePart(45351.75), 0.75);
}

TEST(FileTimes, FileTimesCountHundredNanosecondsSince1601) {
    EXPECT_EQ(FileTimeFromTimespec(0, 0), 116444736000000000ULL);
    EXPECT_EQ(FileTimeFromTimespec(1, 500), 116444736010000005ULL);
    const timespec ts = TimespecFromFileTime(116444736010000005ULL);
    EXPECT_EQ(ts.tv_sec, 1);
    EXPECT_EQ(ts.tv_nsec, 500);
}

TEST(FileTimes, LocalConversionUsesTheZoneInForceAtTheFilesDate) {
    const LocalZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    // 2024-01-15 11:30:00.250 UTC is 12:30 in winter; 2024-07-15 11:30 UTC is 13:30 in summer.
    const TFileTime winter = FileTimeFromTimespec(1705318200, 250'000'000);
    const TFileTime summer = FileTimeFromTimespec(1721043000, 0);
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(winter), EncodeDateTime(2024, 1, 15, 12, 30, 0, 250));
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(summer), EncodeDateTime(2024, 7, 15, 13, 30, 0, 0));
}

TEST(FileTimes, PackedLocalTimeKeepsTwoSecondSteps) {
    const LocalZone zone("UTC0");
    // 2024-07-15 13:30:59 UTC
    const TDosDateTime packed = FileTimeToDosDateTime(FileTimeFromTimespec(1721050259, 0));
    EXPECT_EQ(packed >> 16, (2024u - 1980) << 9 | 7u << 5 | 15u);
    EXPECT_EQ(packed & 0xFFFF, 13u << 11 | 30u << 5 | 29u);
    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(packed), EncodeDateTime(2024, 7, 15, 13, 30, 58, 0));
}

TEST(FileTimes, PackedTimeIsClampedToItsRange) {
    const LocalZone zone("UTC0");
    EXPECT_DOUBLE_EQ(DosDateTimeToDateTime(FileTimeToDosDateTime(FileTimeFromTimespec(0, 0))),
                     EncodeDate(1980, 1, 1));
    // 2200-01-01
    EXPECT_DOUBLE_EQ(
        DosDateTimeToDateTime(FileTimeToDosDateTime(FileTimeFromTimespec(7258118400, 0))),
        EncodeDateTime(2107, 12, 31, 23, 59, 58, 0));
}
