// The host's conversion between the module's narrow text and UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "kit/NarrowText.h"

namespace darvik::host {
namespace {

#if !defined(_WIN32)
// Linux: the narrow text is ISO-8859-1, so every byte has a character.
TEST(NarrowTextTest, EveryLatin1ByteBecomesUtf8AndBackUnchanged) {
    std::string all;
    for (int byte = 1; byte < 256; ++byte) {
        all.push_back(static_cast<char>(byte));
    }
    const std::string utf8 = NarrowToUtf8(all);
    EXPECT_EQ(utf8.size(), 127u + 2u * 128u);
    EXPECT_EQ(NarrowToUtf8("Caf\xE9 \xFF"), "Caf\xC3\xA9 \xC3\xBF");
    std::string back;
    ASSERT_TRUE(Utf8ToNarrow(utf8, back));
    EXPECT_EQ(back, all);
}

TEST(NarrowTextTest, TextTheModuleCannotHoldIsRefused) {
    std::string narrow = "left over";
    EXPECT_FALSE(Utf8ToNarrow(std::string("nul\0x", 5), narrow)) << "a C string would end at the NUL";
    EXPECT_TRUE(narrow.empty());
    EXPECT_FALSE(Utf8ToNarrow("\xE2\x82\xAC", narrow)) << "the euro sign is not Latin-1";
    EXPECT_FALSE(Utf8ToNarrow("\xFF", narrow)) << "not UTF-8";
    EXPECT_FALSE(Utf8ToNarrow("\xC3", narrow)) << "cut sequence";
    EXPECT_FALSE(Utf8ToNarrow("\xC3x", narrow)) << "lead byte without continuation";
    EXPECT_FALSE(Utf8ToNarrow("\xC0\xAF", narrow)) << "overlong form";
    ASSERT_TRUE(Utf8ToNarrow("T\xC3\xBCr", narrow));
    EXPECT_EQ(narrow, "T\xFCr");
    ASSERT_TRUE(Utf8ToNarrow("", narrow));
    EXPECT_TRUE(narrow.empty());
}
#else
// Windows: the ANSI code page decides; ASCII holds in every one of them.
TEST(NarrowTextTest, AsciiPassesBothWaysAndANulIsRefused) {
    EXPECT_EQ(NarrowToUtf8("Door 7"), "Door 7");
    std::string narrow;
    ASSERT_TRUE(Utf8ToNarrow("Door 7", narrow));
    EXPECT_EQ(narrow, "Door 7");
    EXPECT_FALSE(Utf8ToNarrow(std::string("nul\0x", 5), narrow));
    EXPECT_FALSE(Utf8ToNarrow("\xFF", narrow));
}
#endif

}  // namespace
}  // namespace darvik::host
