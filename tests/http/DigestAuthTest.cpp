// Digest computed by the client: published vectors (on every platform, so
// the system's hashes are checked too), the challenge parser against odd and
// hostile headers, and the per-camera nonce state shared by threads.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "http/DigestAuth.h"
#include "http/DigestNonceTable.h"
#include "http/HttpClient.h"

namespace {

using Web::DigestAlgorithm;
using Web::DigestChallenge;
using Web::DigestQop;

// The value of `name` in an Authorization value ("" when absent).
std::string Field(const std::string& value, const std::string& name) {
    const std::string quoted = name + "=\"";
    std::size_t at = value.find(", " + quoted);
    if (at == std::string::npos && value.rfind("Digest " + quoted, 0) == 0) {
        return value.substr(7 + quoted.size(), value.find('"', 7 + quoted.size()) - 7 - quoted.size());
    }
    if (at != std::string::npos) {
        at += 2 + quoted.size();
        return value.substr(at, value.find('"', at) - at);
    }
    at = value.find(", " + name + "=");
    if (at == std::string::npos) {
        return {};
    }
    at += 3 + name.size();
    return value.substr(at, value.find(',', at) - at);
}

// RFC 7616, section 3.9.1.
DigestChallenge Rfc7616(DigestAlgorithm algorithm) {
    DigestChallenge challenge;
    challenge.realm = "http-auth@example.org";
    challenge.nonce = "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v";
    challenge.opaque = "FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS";
    challenge.hasOpaque = true;
    challenge.algorithm = algorithm;
    challenge.qop = DigestQop::Auth;
    return challenge;
}

Web::DigestRequest MufasaRequest(std::uint32_t nonceCount = 1) {
    Web::DigestRequest request;
    request.userName = "Mufasa";
    request.password = "Circle of Life";
    request.method = "GET";
    request.uri = "/dir/index.html";
    request.nonceCount = nonceCount;
    request.cnonce = "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ";
    return request;
}

TEST(DigestVectors, PublishedExamplesAreReproduced) {
    const std::string md5 = Web::BuildDigestAuthorization(Rfc7616(DigestAlgorithm::Md5), MufasaRequest());
    EXPECT_EQ(Field(md5, "response"), "8ca523f5e9506fed4657c9700eebdbec") << md5;
    EXPECT_EQ(Field(md5, "username"), "Mufasa");
    EXPECT_EQ(Field(md5, "uri"), "/dir/index.html");
    EXPECT_EQ(Field(md5, "nc"), "00000001");
    EXPECT_EQ(Field(md5, "qop"), "auth");
    EXPECT_EQ(Field(md5, "opaque"), "FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS");
    EXPECT_EQ(Field(md5, "cnonce"), "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ");

    const std::string sha = Web::BuildDigestAuthorization(Rfc7616(DigestAlgorithm::Sha256), MufasaRequest());
    EXPECT_EQ(Field(sha, "response"), "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1") << sha;
    EXPECT_EQ(Field(sha, "algorithm"), "SHA-256");

    // RFC 2617, section 3.5.
    DigestChallenge old;
    old.realm = "testrealm@host.com";
    old.nonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
    old.opaque = "5ccc069c403ebaf9f0171e9517f40e41";
    old.hasOpaque = true;
    old.qop = DigestQop::Auth;
    Web::DigestRequest request = MufasaRequest();
    request.password = "Circle Of Life";
    request.cnonce = "0a4f113b";
    EXPECT_EQ(Field(Web::BuildDigestAuthorization(old, request), "response"),
              "6629fae49393a05397450978507c4ef1");
}

// Variants on the same example, worked out independently of the module.
TEST(DigestVectors, SessionAlgorithmsUserhashAuthIntAndNoQop) {
    DigestChallenge sess = Rfc7616(DigestAlgorithm::Md5Sess);
    EXPECT_EQ(Field(Web::BuildDigestAuthorization(sess, MufasaRequest(2)), "response"),
              "6914b51e16f9459d9abc967ad41c4599");
    sess.algorithm = DigestAlgorithm::Sha256Sess;
    const std::string sha = Web::BuildDigestAuthorization(sess, MufasaRequest(2));
    EXPECT_EQ(Field(sha, "response"), "6bb0010aa4bdf46422a798c509ea32e256f27bd37de5cc3bdf8ed51e1d77d650");
    EXPECT_EQ(Field(sha, "nc"), "00000002");
    EXPECT_EQ(Field(sha, "algorithm"), "SHA-256-sess");

    DigestChallenge hashed = Rfc7616(DigestAlgorithm::Sha256);
    hashed.userhash = true;
    const std::string value = Web::BuildDigestAuthorization(hashed, MufasaRequest());
    EXPECT_EQ(Field(value, "username"), "a947aad205e80e429958a387394944c6b496301e79f89d35a4cc23b6ee12b5b6");
    EXPECT_EQ(Field(value, "userhash"), "true");
    EXPECT_EQ(value.find("Mufasa"), std::string::npos) << value;
    // The response is that of the plain name.
    EXPECT_EQ(Field(value, "response"), "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1");

    DigestChallenge authInt = Rfc7616(DigestAlgorithm::Md5);
    authInt.qop = DigestQop::AuthInt;
    const std::string integrity = Web::BuildDigestAuthorization(authInt, MufasaRequest());
    EXPECT_EQ(Field(integrity, "response"), "8804a53d3640a40a4f73cea12c5ba451");
    EXPECT_EQ(Field(integrity, "qop"), "auth-int");

    DigestChallenge bare = Rfc7616(DigestAlgorithm::Md5);
    bare.qop = DigestQop::None;
    bare.hasOpaque = false;
    const std::string plain = Web::BuildDigestAuthorization(bare, MufasaRequest());
    EXPECT_EQ(Field(plain, "response"), "7b2cc3b30e75b4777ea31027084363fd");
    EXPECT_EQ(Field(plain, "nc"), "");
    EXPECT_EQ(Field(plain, "cnonce"), "");
    EXPECT_EQ(Field(plain, "opaque"), "");
}

// Nothing a camera or a configuration holds may end the header line.
TEST(DigestVectors, LineBreaksAnywhereRefuseToSignAndQuotesAreEscaped) {
    Web::DigestRequest request = MufasaRequest();
    request.userName = "Mufasa\r\nX-Evil: 1";
    EXPECT_EQ(Web::BuildDigestAuthorization(Rfc7616(DigestAlgorithm::Md5), request), "");
    DigestChallenge challenge = Rfc7616(DigestAlgorithm::Md5);
    challenge.nonce = "n\r\nX-Evil: 1";
    EXPECT_EQ(Web::BuildDigestAuthorization(challenge, MufasaRequest()), "");
    challenge = Rfc7616(DigestAlgorithm::Md5);
    challenge.realm = "a\"b\\c";
    const std::string value = Web::BuildDigestAuthorization(challenge, MufasaRequest());
    EXPECT_NE(value.find("realm=\"a\\\"b\\\\c\""), std::string::npos) << value;
}

struct ParseCase {
    const char* name;
    std::vector<std::string> headers;
    std::size_t count;          // challenges kept
    const char* nonce;          // of the first kept, when any
    DigestAlgorithm algorithm;  // of the first kept
    DigestQop qop;              // of the first kept
};

TEST(DigestParsing, OddAndHostileChallenges) {
    using A = DigestAlgorithm;
    using Q = DigestQop;
    const ParseCase cases[] = {
        {"plain", {R"(Digest realm="r", nonce="n1", qop="auth")"}, 1, "n1", A::Md5, Q::Auth},
        {"case of names and tokens", {R"(dIgEsT REALM="r", Nonce="n1", ALGORITHM=sha-256, QOP="AUTH")"}, 1, "n1", A::Sha256, Q::Auth},
        {"unquoted and quoted algorithm", {R"(Digest nonce=n1, algorithm="MD5-sess")"}, 1, "n1", A::Md5Sess, Q::None},
        {"escapes in quotes", {R"(Digest realm="a\"b", nonce="n\\1")"}, 1, "n\\1", A::Md5, Q::None},
        {"comma and equals inside quotes", {R"(Digest realm="a, nonce=evil", nonce="n1")"}, 1, "n1", A::Md5, Q::None},
        {"repeated parameter keeps the first", {R"(Digest nonce="n1", nonce="n2")"}, 1, "n1", A::Md5, Q::None},
        {"no nonce", {R"(Digest realm="r", qop="auth")"}, 0, "", A::Md5, Q::None},
        {"empty nonce", {R"(Digest realm="r", nonce="")"}, 0, "", A::Md5, Q::None},
        {"unknown algorithm", {R"(Digest nonce="n1", algorithm=SHA-512-256)"}, 0, "", A::Md5, Q::None},
        {"auth-int alone", {R"(Digest nonce="n1", qop="auth-int")"}, 1, "n1", A::Md5, Q::AuthInt},
        {"auth beside auth-int", {R"(Digest nonce="n1", qop="auth-int, auth")"}, 1, "n1", A::Md5, Q::Auth},
        {"only unknown qop", {R"(Digest nonce="n1", qop="auth-conf")"}, 0, "", A::Md5, Q::None},
        {"auth-int with an unknown qop", {R"(Digest nonce="n1", qop="auth-int,x")"}, 0, "", A::Md5, Q::None},
        {"two challenges in one header",
         {R"(Digest realm="r", nonce="a", algorithm=MD5, Digest realm="r", nonce="b", algorithm=SHA-256)"},
         2, "a", A::Md5, Q::None},
        {"other schemes around it", {R"(Negotiate abc==, Basic realm="x", Digest nonce="n1", NTLM)"}, 1, "n1", A::Md5, Q::None},
        {"other scheme's nonce ignored", {R"(Basic nonce="b", realm="x")"}, 0, "", A::Md5, Q::None},
        {"unterminated quote", {R"(Digest realm="r, nonce="n1)"}, 0, "", A::Md5, Q::None},
        {"several headers", {R"(Basic realm="x")", R"(Digest nonce="n1")", R"(Digest nonce="n2")"}, 2, "n1", A::Md5, Q::None},
        {"empty and junk", {"", ",,,", "=\"\"", "Digest", "Digest ,=,"}, 0, "", A::Md5, Q::None},
    };
    for (const ParseCase& c : cases) {
        const std::vector<DigestChallenge> parsed = Web::ParseDigestChallenges(c.headers);
        ASSERT_EQ(parsed.size(), c.count) << c.name;
        if (c.count > 0) {
            EXPECT_EQ(parsed[0].nonce, c.nonce) << c.name;
            EXPECT_EQ(parsed[0].algorithm, c.algorithm) << c.name;
            EXPECT_EQ(parsed[0].qop, c.qop) << c.name;
        }
    }
    const auto flags = Web::ParseDigestChallenges(
        {R"(Digest realm="cam", nonce="n", opaque="", stale=TRUE, userhash="true", charset=UTF-8)"});
    ASSERT_EQ(flags.size(), 1u);
    EXPECT_TRUE(flags[0].stale);
    EXPECT_TRUE(flags[0].userhash);
    EXPECT_TRUE(flags[0].hasOpaque);
    EXPECT_EQ(flags[0].charset, "UTF-8");
    EXPECT_EQ(flags[0].realm, "cam");
    EXPECT_FALSE(Web::ParseDigestChallenges({R"(Digest nonce="n", stale=false)"})[0].stale);
}

TEST(DigestParsing, StrongestAlgorithmIsChosenWhateverTheOrder) {
    for (const char* header :
         {R"(Digest nonce="md5", Digest nonce="sha", algorithm=SHA-256)",
          R"(Digest nonce="sha", algorithm=SHA-256, Digest nonce="md5")"}) {
        const auto chosen = Web::ChooseDigestChallenge(Web::ParseDigestChallenges({header}));
        ASSERT_TRUE(chosen.has_value());
        EXPECT_EQ(chosen->nonce, "sha") << header;
    }
    const auto first = Web::ChooseDigestChallenge(
        Web::ParseDigestChallenges({R"(Digest nonce="a", Digest nonce="b", algorithm=MD5-sess)"}));
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->nonce, "a");
    EXPECT_FALSE(Web::ChooseDigestChallenge({}).has_value());
}

// Every request of every client of a camera gets a count of its own; a
// fresh challenge restarts the counts; cameras do not share state.
TEST(DigestNonceTable, CountsAreDistinctAcrossThreadsAndRestartOnAFreshNonce) {
    Web::CDigestNonceTable& table = Web::CDigestNonceTable::Instance();
    table.Clear();
    EXPECT_EQ(table.Sign("10.0.0.1", 80, Web::kAuthTargetServer, "u", "p", "GET", "/"), "");
    table.Store("10.0.0.1", 80, Web::kAuthTargetServer, Rfc7616(DigestAlgorithm::Sha256));
    EXPECT_EQ(table.Sign("10.0.0.1", 81, Web::kAuthTargetServer, "u", "p", "GET", "/"), "");
    EXPECT_EQ(table.Sign("10.0.0.1", 80, Web::kAuthTargetProxy, "u", "p", "GET", "/"), "");

    constexpr int kThreads = 4;
    constexpr int kEach = 50;
    std::vector<std::vector<std::string>> signed_(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                signed_[t].push_back(
                    table.Sign("10.0.0.1", 80, Web::kAuthTargetServer, "u", "p", "GET", "/a"));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::set<std::string> counts;
    std::set<std::string> cnonces;
    for (const auto& values : signed_) {
        for (const std::string& value : values) {
            counts.insert(Field(value, "nc"));
            cnonces.insert(Field(value, "cnonce"));
        }
    }
    EXPECT_EQ(counts.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(*counts.begin(), "00000001");
    EXPECT_EQ(*counts.rbegin(), "000000c8");
    EXPECT_EQ(cnonces.size(), static_cast<std::size_t>(kThreads * kEach));

    DigestChallenge fresh = Rfc7616(DigestAlgorithm::Md5);
    fresh.nonce = "fresh";
    table.Store("10.0.0.1", 80, Web::kAuthTargetServer, fresh);
    const std::string next = table.Sign("10.0.0.1", 80, Web::kAuthTargetServer, "u", "p", "GET", "/a");
    EXPECT_EQ(Field(next, "nonce"), "fresh");
    EXPECT_EQ(Field(next, "nc"), "00000001");
    table.Clear();
}

}  // namespace
