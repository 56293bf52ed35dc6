// The "WindowPos" text on its own: what the scanf-style reading accepts.
#include "base/window_pos.h"

#include <gtest/gtest.h>

namespace {

bool Parse(const char* text, WindowPosFields& f) {
    return ParseWindowPos(text, f);
}

TEST(WindowPosText, ReadsTenNumbersAndIgnoresWhatFollows) {
    WindowPosFields f;
    ASSERT_TRUE(Parse("2,3,-1,-2,-8,-9,10,20,500,400", f));
    EXPECT_EQ(f.flags, 2u);
    EXPECT_EQ(f.showCmd, 3u);
    EXPECT_EQ(f.minX, -1);
    EXPECT_EQ(f.minY, -2);
    EXPECT_EQ(f.maxX, -8);
    EXPECT_EQ(f.maxY, -9);
    EXPECT_EQ(f.left, 10);
    EXPECT_EQ(f.top, 20);
    EXPECT_EQ(f.right, 500);
    EXPECT_EQ(f.bottom, 400);
    EXPECT_TRUE(Parse("0,1,0,0,0,0,1,2,3,4,5", f));
    EXPECT_EQ(f.bottom, 4);
    EXPECT_TRUE(Parse("0,1,0,0,0,0,1,2,3,4 and more", f));
    EXPECT_TRUE(Parse("0,1,0,0,0,0,1,2,3,4x", f));
    // White space before a number, and a sign, are accepted.
    EXPECT_TRUE(Parse(" 0,\t1,\n0, 0,+7,0,1,2,3,4", f));
    EXPECT_EQ(f.maxX, 7);
}

TEST(WindowPosText, AnythingShortOfTenNumbersFailsAndLeavesTheFieldsAlone) {
    WindowPosFields f;
    f.left = 123;
    for (const char* bad : {"", "0,1,0,0,0,0,1,2,3", "0,1,0,0,x,0,1,2,3,4", "0,1,0,0,0,0,1,2,3,",
                            "0 ,1,0,0,0,0,1,2,3,4", "0,1,0,0,0,0,1,2,3;4", "0,1,0,0,-,0,1,2,3,4",
                            "0,,1,0,0,0,0,1,2,3,4", " ", "0x1,1,0,0,0,0,1,2,3,4"}) {
        EXPECT_FALSE(Parse(bad, f)) << bad;
        EXPECT_EQ(f.left, 123) << bad;
    }
}

TEST(WindowPosText, LargeNumbersWrapRoundAsThirtyTwoBits) {
    WindowPosFields f;
    ASSERT_TRUE(Parse("-1,4294967299,2147483648,-2147483649,0,0,0,0,0,99999999999999999999", f));
    EXPECT_EQ(f.flags, 4294967295u);
    EXPECT_EQ(f.showCmd, 3u);
    EXPECT_EQ(f.minX, -2147483647 - 1);
    EXPECT_EQ(f.minY, 2147483647);
    EXPECT_EQ(f.bottom, 1661992959); // 99999999999999999999 modulo 2^32
}

TEST(WindowPosText, FormatsWithoutBlanksAndReadsBack) {
    WindowPosFields f;
    f.flags = 2;
    f.showCmd = 3;
    f.minX = -32000;
    f.minY = -32000;
    f.maxX = -4;
    f.maxY = -4;
    f.left = 10;
    f.top = 20;
    f.right = 510;
    f.bottom = 420;
    EXPECT_EQ(FormatWindowPos(f), "2,3,-32000,-32000,-4,-4,10,20,510,420");
    f.flags = 4294967295u;
    f.minX = -2147483647 - 1;
    std::string text = FormatWindowPos(f);
    EXPECT_EQ(text, "4294967295,3,-2147483648,-32000,-4,-4,10,20,510,420");
    WindowPosFields back;
    ASSERT_TRUE(ParseWindowPos(text, back));
    EXPECT_EQ(back.flags, f.flags);
    EXPECT_EQ(back.minX, f.minX);
}

} // namespace
