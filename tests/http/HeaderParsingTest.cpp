// Header syntax shared by both transports, and the receive ring.
#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "http/ByteRing.h"
#include "http/HeaderParsing.h"

namespace {

TEST(HeaderParsing, StatusLinesAndNumbersAreReadStrictly) {
    EXPECT_EQ(Web::ParseStatusLine("HTTP/1.1 401 Unauthorized"), 401u);
    EXPECT_EQ(Web::ParseStatusLine("HTTP/1.0 200"), 200u);
    EXPECT_EQ(Web::ParseStatusLine("HTTP/1.1 20"), 0u);
    EXPECT_EQ(Web::ParseStatusLine("HTTP/1.1 2x0 OK"), 0u);
    EXPECT_EQ(Web::ParseStatusLine("garbage"), 0u);

    EXPECT_EQ(Web::ParseHeaderNumber(" \t4294967295 "), 4294967295u);
    EXPECT_EQ(Web::ParseHeaderNumber("4294967296"), 0u);  // over 32 bits
    EXPECT_EQ(Web::ParseHeaderNumber("12345678901"), 0u);
    EXPECT_EQ(Web::ParseHeaderNumber("-1"), 0u);
    EXPECT_EQ(Web::ParseHeaderNumber("1 2"), 0u);
    EXPECT_EQ(Web::ParseHeaderNumber(""), 0u);
}

TEST(HeaderParsing, NamesIgnoreCaseAndTokensRefuseSeparatorsAndNul) {
    EXPECT_TRUE(Web::EqualsNoCase("content-LENGTH", "Content-Length"));
    EXPECT_FALSE(Web::EqualsNoCase("Content-Lengths", "Content-Length"));
    EXPECT_FALSE(Web::EqualsNoCase("Content", "Content-Length"));
    EXPECT_EQ(Web::TrimBlanks(" \t x y\t "), "x y");

    EXPECT_TRUE(Web::IsToken("GET"));
    EXPECT_TRUE(Web::IsToken("M-SEARCH"));
    EXPECT_FALSE(Web::IsToken(""));
    EXPECT_FALSE(Web::IsToken("GET /"));
    EXPECT_FALSE(Web::IsToken("GE\r\nT"));
    EXPECT_FALSE(Web::IsToken(std::string("GE\0T", 4)));
}

TEST(ByteRing, KeepsOrderAcrossTheWrapAndRefusesWhatDoesNotFit) {
    Web::CByteRing ring(10);
    std::vector<std::uint8_t> bytes(25);
    std::iota(bytes.begin(), bytes.end(), 0);
    std::vector<std::uint8_t> out(10);

    ASSERT_TRUE(ring.Write(bytes.data(), 7));
    EXPECT_FALSE(ring.Write(bytes.data() + 7, 4));  // 11 > 10: nothing taken
    EXPECT_EQ(ring.Size(), 7u);
    ASSERT_EQ(ring.Read(out.data(), 5), 5u);
    ASSERT_TRUE(ring.Write(bytes.data() + 7, 8));  // wraps around
    EXPECT_EQ(ring.Size(), 10u);
    EXPECT_EQ(ring.Free(), 0u);
    EXPECT_EQ(ring.Peak(), 10u);
    ASSERT_EQ(ring.Read(out.data(), 10), 10u);
    for (std::uint8_t i = 0; i < 10; ++i) {
        EXPECT_EQ(out[i], 5 + i);
    }
    EXPECT_EQ(ring.Read(out.data(), 10), 0u);
    // Emptied, it takes a full load in one piece again.
    ASSERT_TRUE(ring.Write(bytes.data() + 15, 10));
    ASSERT_EQ(ring.Read(out.data(), 10), 10u);
    EXPECT_EQ(out[0], 15);
    EXPECT_EQ(out[9], 24);
}

}  // namespace
