#include "platform/ByteTables.h"

#include <gtest/gtest.h>

using namespace pw;

TEST(ByteTables, LowerCaseFoldsOnlyAsciiCapitals) {
    for (int b = 0; b < 256; ++b) {
        const int expected = (b >= 'A' && b <= 'Z') ? b + 32 : b;
        EXPECT_EQ(LowerCaseTable[b], expected) << "byte " << b;
        EXPECT_EQ(IdentityTable[b], b);
    }
}

TEST(ByteTables, DelimitersAreEveryByteButAsciiLettersDigitsAndHighBytes) {
    for (int b = 0; b < 256; ++b) {
        const bool word =
            (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b >= 0x80;
        EXPECT_EQ(DelimiterSet.contains(static_cast<unsigned char>(b)), !word) << "byte " << b;
    }
    EXPECT_TRUE(DelimiterSet.contains(0));
    EXPECT_TRUE(DelimiterSet.contains('_'));
}
