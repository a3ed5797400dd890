#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "http/AuthChallenge.h"
#include "http/HttpClient.h"
#include "http/PlainHttpRefusal.h"
#include "http/Transport.h"
#include "http/Utils.h"
#include "support/RecordingLog.h"

namespace brevane {
namespace {

using Utils::GetParameter;
using Utils::ParseInt;

std::string Get(const std::string& key, const std::string& text) {
    return GetParameter(key, ":", text, "\r\n");
}

TEST(GetParameter, FindsValuesOnTheirOwnLines) {
    const std::string reply = "s_ssta:1\r\na_aoa1:0\r\n";
    EXPECT_EQ(Get("s_ssta", reply), "1");
    EXPECT_EQ(Get("a_aoa1", reply), "0");
    // The digit between key and separator disqualifies the shorter name.
    EXPECT_EQ(Get("a_aoa", reply), "");
    EXPECT_EQ(Get("m_qual", "m_quality:5\r\nm_qual:7\r\n"), "7");
    EXPECT_EQ(Get("m_qual", "m_quality:5\r\n"), "");
}

TEST(GetParameter, KeepsTheValueUntrimmedAndAllowsBlanksBeforeTheSeparator) {
    EXPECT_EQ(Get("m_qual", "m_qual : 2\r\n"), " 2");
    EXPECT_EQ(Get("m_qual", "m_qual\t:x y \"z\"\r\n"), "x y \"z\"");
    EXPECT_EQ(Get("a", "a:\r\nb:2\r\n"), "");
}

TEST(GetParameter, HandlesTheEndOfTheText) {
    EXPECT_EQ(Get("s_ssta", "a:1\r\ns_ssta:1"), "1");
    EXPECT_EQ(Get("s_ssta", "a:1\r\ns_ssta:"), "");
    EXPECT_EQ(Get("s_ssta", "s_ssta"), "");
    EXPECT_EQ(Get("s_ssta", ""), "");
    // A bare LF also ends a line.
    EXPECT_EQ(Get("b", "a:1\nb:2\nc:3"), "2");
}

TEST(GetParameter, SkipsOccurrencesThatDoNotCount) {
    // First inside another line's value, then on its own line.
    EXPECT_EQ(Get("s_ssta", "a_name:s_ssta\r\ns_ssta:1\r\n"), "1");
    // Separator on the next line does not belong to the key.
    EXPECT_EQ(Get("s_ssta", "s_ssta\r\n:5\r\ns_ssta:6\r\n"), "6");
    // The first line that counts wins.
    EXPECT_EQ(Get("k", "k:1\r\nk:2\r\n"), "1");
    // A longer name ending in the key counts as well.
    EXPECT_EQ(Get("s_ssta", "xs_ssta:9\r\n"), "9");
}

TEST(GetParameter, KeyHoldingALineEndCharacterEnds) {
    EXPECT_EQ(GetParameter("\nb", ":", "a\nb\nb:1", "\n"), "");
    EXPECT_EQ(GetParameter("x", ":", "\rx\r", "\r"), "");
}

TEST(GetParameter, EmptyArgumentsGiveEmptyText) {
    EXPECT_EQ(GetParameter("", ":", "a:1", "\r\n"), "");
    EXPECT_EQ(GetParameter("a", "", "a:1", "\r\n"), "");
    EXPECT_EQ(GetParameter("a", ":", "a:1", ""), "");
    EXPECT_EQ(GetParameter("a", "=>", "a => x\r\n", "\r\n"), " x");
}

TEST(ParseInt, AcceptsOnlyAnOptionallySignedRunOfDigits) {
    std::int32_t value = 99;
    EXPECT_TRUE(ParseInt("-12", value));
    EXPECT_EQ(value, -12);
    EXPECT_TRUE(ParseInt("+7", value));
    EXPECT_EQ(value, 7);
    EXPECT_TRUE(ParseInt("007", value));
    EXPECT_EQ(value, 7);
    for (const char* bad : {"", "-", "+", "1.5", "12 ", " 12", "0x10", "1-2", "--1", "+-1"}) {
        value = 99;
        EXPECT_FALSE(ParseInt(bad, value)) << bad;
        EXPECT_EQ(value, 0) << bad;
    }
}

TEST(ParseInt, RejectsNumbersOutsideTheSigned32BitRange) {
    std::int32_t value = 0;
    EXPECT_TRUE(ParseInt("2147483647", value));
    EXPECT_EQ(value, INT_MAX);
    EXPECT_TRUE(ParseInt("-2147483648", value));
    EXPECT_EQ(value, INT_MIN);
    EXPECT_FALSE(ParseInt("2147483648", value));
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(ParseInt("-2147483649", value));
    EXPECT_FALSE(ParseInt("99999999999999999999", value));
    EXPECT_TRUE(ParseInt("-000000000000002147483648", value));
    EXPECT_EQ(value, INT_MIN);
}

TEST(Format, FormatsAnyLength) {
    EXPECT_EQ(Utils::Format("host %s:%u", "192.168.0.20", 80u), "host 192.168.0.20:80");
    EXPECT_EQ(Utils::Format("%s", ""), "");
    const std::string big(100000, 'x');
    const std::string formatted = Utils::Format("<%s|%d>", big.c_str(), -5);
    EXPECT_EQ(formatted.size(), big.size() + 5);
    EXPECT_EQ(formatted, "<" + big + "|-5>");
}

TEST(LogText, EscapesWhatCouldForgeOrHideALineAndKeepsEightBitLetters) {
    // A CR LF cannot start a line of its own, a NUL cannot cut one, and the
    // backslash is escaped too so that an escape in the text reads as one.
    EXPECT_EQ(Text::LogText(std::string("Door\r\n[1] forged\0x", 18)), "Door\\x0D\\x0A[1] forged\\x00x");
    EXPECT_EQ(Text::LogText("tab\there\x7F\\"), "tab\\x09here\\x7F\\x5C");
    // ISO-8859-1 letters are text, not something to hide.
    EXPECT_EQ(Text::LogText("Caf\xE9 \xFF"), "Caf\xE9 \xFF");
    EXPECT_EQ(Text::Printable("Caf\xE9"), "Caf\\xE9") << "Printable stays strict ASCII";
}

TEST(ShouldReport, FirstTwentyFailuresReportCountsOneToFourteenAndSixteen) {
    test::RecordingSink sink;
    std::vector<std::uint32_t> reported;
    for (int i = 0; i < 20; ++i) {
        if (Utils::ShouldReport(&sink)) {
            reported.push_back(sink.m_reportCounter.load());
        }
    }
    const std::vector<std::uint32_t> expected{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16};
    EXPECT_EQ(reported, expected);
    EXPECT_FALSE(Utils::ShouldReport(nullptr));
}

TEST(ShouldReport, ThinsOutAndFoldsBackAfter65534) {
    test::RecordingSink sink;
    std::vector<std::uint32_t> reported;
    for (std::uint32_t i = 0; i < 65534; ++i) {
        if (Utils::ShouldReport(&sink)) {
            reported.push_back(sink.m_reportCounter.load());
        }
    }
    // 14 + every 16th of 15..254 (16..240: 15) + every 256th of 255..4094
    // (256..3840: 15) + every 4096th of 4095..65534 (4096..61440: 15).
    ASSERT_EQ(reported.size(), 14u + 15u + 15u + 15u);
    EXPECT_EQ(reported[14], 16u);
    EXPECT_EQ(reported[28], 240u);
    EXPECT_EQ(reported[29], 256u);
    EXPECT_EQ(reported[43], 3840u);
    EXPECT_EQ(reported[44], 4096u);
    EXPECT_EQ(reported.back(), 61440u);
    EXPECT_EQ(sink.m_reportCounter.load(), 65534u);

    // The 65535th call folds back to 4095 (not a multiple of 4096); the
    // every-4096th rhythm then continues at 8192.
    EXPECT_FALSE(Utils::ShouldReport(&sink));
    EXPECT_EQ(sink.m_reportCounter.load(), 4095u);
    EXPECT_TRUE(Utils::ShouldReport(&sink));
    EXPECT_EQ(sink.m_reportCounter.load(), 4096u);
}

TEST(ResultDef, ReportsFinishedLinesThroughTheThrottle) {
    test::RecordingSink sink;
    CResultDef result;
    EXPECT_EQ(result.m_level, 3);
    EXPECT_EQ(result.m_code, RESULT_OK);
    result.Report(&sink);  // no message: nothing, and the counter stays
    EXPECT_EQ(sink.m_reportCounter.load(), 0u);

    result.Fail(RESULT_REQUEST_FAILED, "a 100% literal %s %n line");
    result.Report(&sink);
    result.Report(nullptr);
    ASSERT_EQ(sink.Lines().size(), 1u);
    EXPECT_EQ(sink.Lines()[0].level, 1);
    EXPECT_EQ(sink.Lines()[0].text, "a 100% literal %s %n line");
}

}  // namespace
}  // namespace brevane

namespace Web {
namespace {

TEST(AuthChallenge, ReadsEveryOfferedScheme) {
    EXPECT_EQ(ParseAuthSchemes("Basic realm=\"cam\""), kAuthSchemeBasic);
    EXPECT_EQ(ParseAuthSchemes("Digest realm=\"a, Basic b\", nonce=\"x\\\"Basic\", qop=auth, "
                               "algorithm=MD5, Basic realm=\"cam\""),
              kAuthSchemeDigest | kAuthSchemeBasic);
    EXPECT_EQ(ParseAuthSchemes("negotiate"), kAuthSchemeNegotiate);
    EXPECT_EQ(ParseAuthSchemes("Negotiate YIIBhwYGKwYBBQUCoIIBezCC=="),
              kAuthSchemeNegotiate);
    EXPECT_EQ(ParseAuthSchemes("NTLM, Passport1.4 srealm=x"),
              kAuthSchemeNtlm | kAuthSchemePassport);
    EXPECT_EQ(ParseAuthSchemes("Bearer realm=x, Basicx, realm=Digest"), 0u);
    EXPECT_EQ(ParseAuthSchemes(""), 0u);
}

TEST(AuthChallenge, PrefersStrongerSchemesAndNeverPassport) {
    EXPECT_EQ(PreferredAuthScheme(kAuthSchemeBasic | kAuthSchemeDigest),
              kAuthSchemeDigest);
    EXPECT_EQ(PreferredAuthScheme(0x1F), kAuthSchemeNegotiate);
    EXPECT_EQ(PreferredAuthScheme(kAuthSchemeNtlm | kAuthSchemePassport),
              kAuthSchemeNtlm);
    EXPECT_EQ(PreferredAuthScheme(0), 0u);
    EXPECT_EQ(TransportAuthSchemes() & kAuthSchemePassport, 0u);
    EXPECT_NE(TransportAuthSchemes() & kAuthSchemeDigest, 0u);
#if !defined(_WIN32)
    // libcurl cannot answer Negotiate from a password.
    EXPECT_EQ(TransportAuthSchemes() & kAuthSchemeNegotiate, 0u);
#endif
}

TEST(AuthChallenge, StaleIsReadFromTheDigestChallengeOnly) {
    EXPECT_TRUE(ParseDigestStale("Digest realm=\"cam\", nonce=\"n1\", stale=true"));
    EXPECT_TRUE(ParseDigestStale("Basic realm=\"cam\", Digest realm=\"cam\", stale=\"TRUE\", nonce=x"));
    EXPECT_FALSE(ParseDigestStale("Digest realm=\"stale=true\", nonce=\"n1\", stale=false"));
    EXPECT_FALSE(ParseDigestStale("Digest realm=\"cam\", nonce=\"n1\""));
    EXPECT_FALSE(ParseDigestStale("Foo stale=true, Digest realm=\"cam\""));
}

TEST(PlainHttpRefusal, TheWordsOfNginxAndApacheAreRecognised) {
    EXPECT_TRUE(Web::IsPlainHttpRefusalText(
        "<head><title>400 The plain HTTP request was sent to HTTPS port</title></head>"));
    EXPECT_TRUE(Web::IsPlainHttpRefusalText(
        "Reason: You're speaking plain HTTP to an SSL-enabled server port.<br />"));
    EXPECT_FALSE(Web::IsPlainHttpRefusalText("<title>400 Bad Request</title>"));
}

TEST(RequestTarget, AddsTheLeadingSlashAndEncodesUnsafeBytes) {
    EXPECT_EQ(RequestTarget("cgi-bin/get?mpg"), "/cgi-bin/get?mpg");
    EXPECT_EQ(RequestTarget("/cgi-bin/set?a_aoa1=2&b=%41"), "/cgi-bin/set?a_aoa1=2&b=%41");
    EXPECT_EQ(RequestTarget("/a b\r\nX-Injected: 1"), "/a%20b%0D%0AX-Injected:%201");
    EXPECT_EQ(RequestTarget("/p#frag\"\x80"), "/p%23frag%22%80");
    EXPECT_EQ(RequestTarget(""), "");
}

}  // namespace
}  // namespace Web
