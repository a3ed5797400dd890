// The client against a web server not written here: Digest and Basic
// authentication through lighttpd's mod_auth, and TLS with a self-signed
// certificate.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "http/HttpClient.h"
#include "http/LighttpdServer.h"
#include "http/Transport.h"
#include "http/Utils.h"
#include "support/DeviceInfo.h"
#include "support/FreshAuthSchemes.h"
#include "support/RecordingLog.h"

namespace brevane {
namespace {

using test::LighttpdServer;
using test::LocalDevice;
using test::RecordingSink;

constexpr std::uint32_t kTimeoutMs = 2000;

const std::string kReply = "s_prid:42\r\nm_qual:1250\r\nn_madr:00-11-22-33-44-AA\r\n";

class LighttpdInterop : public ::testing::Test {
   protected:
    static void SetUpTestSuite() {
        s_server = std::make_unique<LighttpdServer>();
        if (s_server->Error().empty()) {
            s_server->WriteFile("digest/cgi-bin/get", kReply);
            s_server->WriteFile("basic/cgi-bin/get", kReply);
            s_server->WriteFile("open/cgi-bin/get", kReply);
            std::string big(3 * 1024 * 1024 + 17, '\0');
            for (std::size_t i = 0; i < big.size(); ++i) {
                big[i] = static_cast<char>(i * 131 % 251);
            }
            s_server->WriteFile("open/big.bin", big);
        }
    }
    static void TearDownTestSuite() { s_server.reset(); }

    void SetUp() override { ASSERT_EQ(s_server->Error(), ""); }

    static std::string Text(const std::vector<std::uint8_t>& reply) {
        return std::string(reinterpret_cast<const char*>(reply.data()));
    }

    static std::unique_ptr<LighttpdServer> s_server;
};

std::unique_ptr<LighttpdServer> LighttpdInterop::s_server;

TEST_F(LighttpdInterop, DigestIsNegotiatedAndTheReplyRead) {
    Web::CHttpClient client(
        LocalDevice(s_server->Port(), kTimeoutMs, "admin", "secret"), "Brevane::HttpClient");
    RecordingSink sink;
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(Utils::SendRequestEx("/digest/cgi-bin/get?sys", reply, client, &sink));
    EXPECT_EQ(client.GetStatusCode(), 200u);
    EXPECT_EQ(client.GetAuthScheme(), Web::kAuthSchemeDigest);
    EXPECT_EQ(Text(reply), kReply);
    EXPECT_EQ(Utils::GetParameter("m_qual", ":", Text(reply), "\r\n"), "1250");
    // Later requests answer the challenge without renegotiating.
    ASSERT_TRUE(Utils::SendRequestEx("/digest/cgi-bin/get?mpg", reply, client, &sink));
    EXPECT_EQ(Text(reply), kReply);
    EXPECT_TRUE(sink.Lines().empty());
}

// A server that offers SHA-256 Digest only (which the system's Digest
// package of Windows refuses) is logged into, one request per call after
// the challenge.
TEST_F(LighttpdInterop, Sha256OnlyDigestIsAnswered) {
    ASSERT_TRUE(s_server->WriteFile("sha256/cgi-bin/get", kReply));
    Web::CHttpClient client(
        LocalDevice(s_server->Port(), kTimeoutMs, "admin", "secret"), "Brevane::HttpClient");
    Web::CHttpClient second(
        LocalDevice(s_server->Port(), kTimeoutMs, "admin", "secret"), "Brevane::HttpClient");
    std::vector<std::uint8_t> reply;
    for (int call = 0; call < 4; ++call) {
        ASSERT_TRUE(Utils::SendRequestEx("/sha256/cgi-bin/get?sys", reply, call % 2 ? second : client, nullptr))
            << call;
        EXPECT_EQ(Text(reply), kReply);
    }
    EXPECT_EQ(client.GetAuthScheme(), Web::kAuthSchemeDigest);
    Web::CHttpClient wrong(
        LocalDevice(s_server->Port(), kTimeoutMs, "admin", "wrong"), "Brevane::HttpClient");
    EXPECT_FALSE(Utils::SendRequestEx("/sha256/cgi-bin/get?sys", reply, wrong, nullptr));
    EXPECT_EQ(wrong.GetStatusCode(), 401u);
}

TEST_F(LighttpdInterop, WrongDigestPasswordEndsIn401) {
    Web::CHttpClient client(
        LocalDevice(s_server->Port(), kTimeoutMs, "admin", "wrong"), "Brevane::HttpClient");
    RecordingSink sink;
    std::vector<std::uint8_t> reply;
    EXPECT_FALSE(Utils::SendRequestEx("/digest/cgi-bin/get?sys", reply, client, &sink));
    EXPECT_EQ(client.GetStatusCode(), 401u);
    const auto lines = sink.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "brevane::Utils::SendRequestEx: host 127.0.0.1:" +
                                 std::to_string(s_server->Port()) +
                                 " sent does not process request \"/digest/cgi-bin/get?sys\", "
                                 "status code = 401");
}

TEST_F(LighttpdInterop, BasicCredentialsGoOutAfterTheChallenge) {
    Web::CHttpClient client(
        LocalDevice(s_server->Port(), kTimeoutMs, "admin", "secret"), "Brevane::HttpClient");
    std::vector<std::uint8_t> reply;
    ASSERT_TRUE(Utils::SendRequestEx("/basic/cgi-bin/get?sys", reply, client, nullptr));
    EXPECT_EQ(Text(reply), kReply);
    EXPECT_EQ(client.GetAuthScheme(), Web::kAuthSchemeBasic);

    Web::CHttpClient wrong(LocalDevice(s_server->Port(), kTimeoutMs, "admin", "nope"), "Brevane::HttpClient");
    ASSERT_TRUE(wrong.Request("GET", "/basic/cgi-bin/get?sys"));
    EXPECT_EQ(wrong.GetStatusCode(), 401u);
}

// Body of an HTTPS exchange sent straight through the transport, or empty.
std::string HttpsBody(std::uint16_t port, const std::string& target) {
    Web::SessionParams session;
    session.host = "127.0.0.1";
    session.port = port;
    session.userAgent = "Brevane::HttpClient";
    session.timeoutMs = 5000;
    const auto http = Web::OpenSession(session);
    if (!http) {
        return {};
    }
    Web::ExchangeParams exchange;
    exchange.secure = true;
    exchange.verb = "GET";
    exchange.target = Web::RequestTarget(target);
    const Web::ExchangeResult result = http->Exchange(exchange);
    if (!result.response || result.response->StatusCode() != 200) {
        return {};
    }
    std::string body;
    char chunk[4096];
    std::uint32_t read = 0;
    while (result.response->ReadData(chunk, sizeof chunk, &read) && read > 0) {
        body.append(chunk, read);
    }
    return body;
}

// lighttpd drops plain HTTP on its TLS port without an answer. A fresh client
// takes that for a camera that is not there and sends no TLS hello; the
// transport itself accepts the self-signed certificate and the old TLS
// version that such cameras have.
TEST_F(LighttpdInterop, TlsPortThatDropsPlainHttpIsReachedOnlyOverTheTransportsHttps) {
    Web::CHttpClient client(LocalDevice(s_server->TlsPort(), kTimeoutMs), "Brevane::HttpClient");
    std::vector<std::uint8_t> reply;
    EXPECT_FALSE(Utils::SendRequestEx("/open/cgi-bin/get?sys", reply, client, nullptr));
    EXPECT_NE(client.GetScheme(), Web::kSchemeHttps);

    EXPECT_EQ(HttpsBody(s_server->TlsPort(), "/open/cgi-bin/get?sys"), kReply);
    EXPECT_EQ(HttpsBody(s_server->OldTlsPort(), "/open/cgi-bin/get?sys"), kReply);
}

TEST_F(LighttpdInterop, LargeBodyIsReadWholeAndIntact) {
    Web::CHttpClient client(LocalDevice(s_server->Port(), kTimeoutMs), "Brevane::HttpClient");
    ASSERT_TRUE(client.Request("GET", "/open/big.bin"));
    EXPECT_EQ(client.GetContentLength(), 3u * 1024 * 1024 + 17);
    std::vector<std::uint8_t> body;
    const std::uint32_t size = client.ReadAll(body);
    ASSERT_EQ(size, 3u * 1024 * 1024 + 17);
    bool intact = true;
    for (std::size_t i = 0; i < size && intact; ++i) {
        intact = body[i] == static_cast<std::uint8_t>(i * 131 % 251);
    }
    EXPECT_TRUE(intact);
}

TEST_F(LighttpdInterop, MissingFileIsA404) {
    Web::CHttpClient client(LocalDevice(s_server->Port(), kTimeoutMs), "Brevane::HttpClient");
    ASSERT_TRUE(client.Request("GET", "cgi-bin/get?none"));
    EXPECT_EQ(client.GetStatusCode(), 404u);
}

}  // namespace
}  // namespace brevane
