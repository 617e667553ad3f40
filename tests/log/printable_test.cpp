#include "log/printable.h"

#include <gtest/gtest.h>

using namespace std::literals;

TEST(Printable, ControlCharactersBecomeEscapes)
{
    EXPECT_EQ(printable("ZANTOR-2"), "ZANTOR-2");
    EXPECT_EQ(printable("\x1b[31mred\x1b[0m"), "\\x1b[31mred\\x1b[0m");
    EXPECT_EQ(printable("a\nb\rc\td\x07\x7f"), "a\\nb\\rc\\td\\x07\\x7f");
    EXPECT_EQ(printable("nul\0in"sv), "nul\\x00in");
    EXPECT_EQ(printable("C:\\path"), "C:\\path");
}

TEST(Printable, Utf8StaysButC1ControlsAndBrokenBytesDoNot)
{
    EXPECT_EQ(printable("Zürich — 東京 😀"), "Zürich — 東京 😀");
    // U+009B is CSI on terminals that take C1 controls.
    EXPECT_EQ(printable("\xc2\x9b" "31m"), "\\u009b31m");
    EXPECT_EQ(printable("\xc2\xa0"), "\xc2\xa0");
    EXPECT_EQ(printable("\x9b" "31m"), "\\x9b31m");
    EXPECT_EQ(printable("\xc3"), "\\xc3");
    EXPECT_EQ(printable("\xc0\xaf"), "\\xc0\\xaf");             // overlong "/"
    EXPECT_EQ(printable("\xed\xa0\x80"), "\\xed\\xa0\\x80");    // a surrogate
    EXPECT_EQ(printable("\xf4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80"); // past U+10FFFF
}
