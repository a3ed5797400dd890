// The client against web servers not written here, in front of the camera
// simulator: Apache asking for Digest only or Basic only (its own log shows
// what every request carried), and nginx and Apache speaking only TLS on a
// port.
// Each case is skipped, saying why, where the server is not installed.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <thread>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "camsim/Simulator.h"
#include "http/FrontServer.h"
#include "http/HttpClient.h"
#include "http/Utils.h"
#include "support/DeviceInfo.h"
#include "support/FreshAuthSchemes.h"
#include "support/RecordingLog.h"

namespace brevane {
namespace {

namespace camsim = darvik::camsim;
using test::FrontServer;
using test::LocalDevice;
using test::RecordingSink;

constexpr const char* kAgent = "Brevane::HttpClient";
// Clients wait 3 s: each request passes the front server before the camera.
constexpr std::uint32_t kTimeoutMs = 3000;

// One line of the front server's log: "request line|status|Authorization".
struct LogLine {
    std::string request;
    unsigned status = 0;
    std::string authorization;
};

std::vector<LogLine> ParseLog(const std::string& log) {
    std::vector<LogLine> lines;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t first = line.find('|');
        const std::size_t second = line.find('|', first + 1);
        if (first == std::string::npos || second == std::string::npos) {
            continue;
        }
        LogLine entry;
        entry.request = line.substr(0, first);
        entry.status = static_cast<unsigned>(std::stoul(line.substr(first + 1, second - first - 1)));
        entry.authorization = line.substr(second + 1);
        lines.push_back(entry);
    }
    return lines;
}

// A server logs a request once it has sent the answer, which may be after
// the client read it: waits (at most 10 s) for at least `count` lines.
template <typename ReadLog>
std::vector<LogLine> WaitForLog(ReadLog&& read, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::vector<LogLine> lines = ParseLog(read());
    while (lines.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        lines = ParseLog(read());
    }
    return lines;
}

std::size_t Count401(const std::vector<LogLine>& lines) {
    std::size_t count = 0;
    for (const LogLine& line : lines) {
        count += line.status == 401 ? 1 : 0;
    }
    return count;
}

std::size_t CountBasic(const std::vector<LogLine>& lines) {
    std::size_t count = 0;
    for (const LogLine& line : lines) {
        count += line.authorization.rfind("Basic", 0) == 0 ? 1 : 0;
    }
    return count;
}

bool AnyBasic(const std::vector<LogLine>& lines) { return CountBasic(lines) > 0; }

// Reads the stream of the client's current response until `pictures` JPEG
// starts came by or 1 MiB passed; the number of starts seen.
int ReadPictures(Web::CHttpClient& client, int pictures) {
    std::string seen;
    int starts = 0;
    std::vector<char> buffer(16384);
    while (starts < pictures && seen.size() < 1024 * 1024) {
        const std::uint32_t read = client.Read(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
        if (read == 0) {
            break;
        }
        const std::size_t from = seen.size() > 0 ? seen.size() - 1 : 0;
        seen.append(buffer.data(), read);
        for (std::size_t at = seen.find("\xFF\xD8\xFF", from); at != std::string::npos;
             at = seen.find("\xFF\xD8\xFF", at + 1)) {
            ++starts;
        }
    }
    return starts;
}

class FrontServerInterop : public ::testing::Test {
   protected:
    void SetUp() override {
        camsim::Config config;
        config.controlEnabled = false;
        m_camera = std::make_unique<camsim::Simulator>(config);
        std::string error;
        ASSERT_TRUE(m_camera->Start(&error)) << error;
    }

    // The server, or a skip naming what is missing.
    bool Started(const FrontServer& server) {
        if (server.Missing()) {
            return false;
        }
        EXPECT_EQ(server.Error(), "");
        return server.Error().empty();
    }

    std::unique_ptr<camsim::Simulator> m_camera;
};

// Through probe-like CGI calls and a stream, a Digest-only server never
// sees Basic; after the first challenge each call is one request.
TEST_F(FrontServerInterop, DigestOnlyApacheNeverSeesBasicAndAnswersInOneRoundTrip) {
    FrontServer apache = FrontServer::Apache(m_camera->Port());
    if (apache.Missing()) GTEST_SKIP() << apache.Error();
    ASSERT_TRUE(Started(apache));

    const char* paths[] = {"/cgi-bin/get?sys", "/cgi-bin/get?mpg", "/cgi-bin/get?alm",
                           "/cgi-bin/get?aud", "/cgi-bin/get?sys"};
    constexpr int kRounds = 4;
    RecordingSink sink;
    std::vector<std::uint8_t> reply;
    // Kept while the channel starts, as a driver's clients live side by side.
    Web::CHttpClient probe(LocalDevice(apache.DigestPort(), kTimeoutMs, "admin", "secret"), kAgent);
    for (int round = 0; round < kRounds; ++round) {
        for (const char* path : paths) {
            EXPECT_TRUE(Utils::SendRequestEx(path, reply, probe, &sink)) << path;
        }
    }
    EXPECT_TRUE(sink.Lines().empty());
    const std::size_t calls = kRounds * std::size(paths);
    const auto cgi = WaitForLog([&] { return apache.DigestLog(); }, calls + 1);
    std::cout << "Digest Apache: " << calls << " CGI calls, " << cgi.size() << " requests, "
              << Count401(cgi) << " of them 401, " << CountBasic(cgi) << " with Basic\n";
    ASSERT_GE(cgi.size(), calls);
    EXPECT_LE(Count401(cgi), 2u);
    EXPECT_LE(Count401(cgi) * 5, cgi.size());

    // A channel's own client, as the capture makes one: it starts with Digest.
    Web::CHttpClient channel(LocalDevice(apache.DigestPort(), kTimeoutMs, "admin", "secret"), kAgent);
    EXPECT_TRUE(Utils::SendRequestEx("/cgi-bin/set?j_qual=2", reply, channel, &sink));
    ASSERT_TRUE(channel.Request("GET", "/cgi-bin/get?jpgn"));
    ASSERT_EQ(channel.GetStatusCode(), 200u);
    EXPECT_GE(ReadPictures(channel, 3), 3);
    channel.CloseRequest();

    const auto all = WaitForLog([&] { return apache.DigestLog(); }, cgi.size() + 1);
    EXPECT_FALSE(AnyBasic(all)) << apache.DigestLog();
    // The channel answers the nonce the probe was given: no challenge more.
    EXPECT_EQ(Count401(all), 1u) << apache.DigestLog();
}

TEST_F(FrontServerInterop, DigestOnlyApacheRefusesAWrongPasswordWithoutSeeingBasic) {
    FrontServer apache = FrontServer::Apache(m_camera->Port());
    if (apache.Missing()) GTEST_SKIP() << apache.Error();
    ASSERT_TRUE(Started(apache));
    Web::CHttpClient client(LocalDevice(apache.DigestPort(), kTimeoutMs, "admin", "wrong"), kAgent);
    std::vector<std::uint8_t> reply;
    EXPECT_FALSE(Utils::SendRequestEx("/cgi-bin/get?sys", reply, client, nullptr));
    EXPECT_EQ(client.GetStatusCode(), 401u);
    const auto lines = WaitForLog([&] { return apache.DigestLog(); }, 2);
    EXPECT_FALSE(AnyBasic(lines)) << apache.DigestLog();
    EXPECT_LE(lines.size(), 3u);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].authorization, "-");  // nothing before the challenge
}

TEST_F(FrontServerInterop, BasicOnlyApacheGetsBasicAfterItsChallenge) {
    FrontServer apache = FrontServer::Apache(m_camera->Port());
    if (apache.Missing()) GTEST_SKIP() << apache.Error();
    ASSERT_TRUE(Started(apache));
    std::vector<std::uint8_t> reply;
    {
        Web::CHttpClient client(LocalDevice(apache.BasicPort(), kTimeoutMs, "admin", "secret"), kAgent);
        ASSERT_TRUE(Utils::SendRequestEx("/cgi-bin/get?sys", reply, client, nullptr));
        EXPECT_EQ(client.GetAuthScheme(), Web::kAuthSchemeBasic);
        ASSERT_TRUE(Utils::SendRequestEx("/cgi-bin/get?mpg", reply, client, nullptr));
    }
    const auto lines = WaitForLog([&] { return apache.BasicLog(); }, 3);
    ASSERT_EQ(lines.size(), 3u) << apache.BasicLog();
    EXPECT_EQ(lines[0].status, 401u);
    EXPECT_EQ(lines[0].authorization, "-");
    EXPECT_EQ(lines[1].status, 200u);
    EXPECT_EQ(lines[1].authorization, "Basic YWRtaW46c2VjcmV0");
    EXPECT_EQ(lines[2].status, 200u);

    Web::CHttpClient wrong(LocalDevice(apache.BasicPort(), kTimeoutMs, "admin", "nope"), kAgent);
    EXPECT_FALSE(Utils::SendRequestEx("/cgi-bin/get?sys", reply, wrong, nullptr));
    EXPECT_EQ(wrong.GetStatusCode(), 401u);
}

// nginx and Apache answer plain HTTP on a TLS port with a 400 page; the
// client goes on to HTTPS, probes the camera and reads its stream through
// the server.
void ProbeAndStreamOverTls(const FrontServer& server) {
    RecordingSink sink;
    std::vector<std::uint8_t> reply;
    Web::CHttpClient probe(LocalDevice(server.TlsPort(), kTimeoutMs), kAgent);
    ASSERT_TRUE(Utils::SendRequestEx("/cgi-bin/get?sys", reply, probe, &sink));
    EXPECT_EQ(probe.GetScheme(), Web::kSchemeHttps);
    EXPECT_EQ(Utils::GetParameter("s_prid", ":", reinterpret_cast<const char*>(reply.data()), "\r\n"),
              "034");
    EXPECT_TRUE(Utils::SendRequestEx("/cgi-bin/get?mpg", reply, probe, &sink));

    Web::CHttpClient channel(LocalDevice(server.TlsPort(), kTimeoutMs), kAgent);
    ASSERT_TRUE(channel.Request("GET", "/cgi-bin/get?jpgn"));
    EXPECT_EQ(channel.GetScheme(), Web::kSchemeHttps);
    ASSERT_EQ(channel.GetStatusCode(), 200u);
    EXPECT_GE(ReadPictures(channel, 3), 3);
    EXPECT_TRUE(sink.Lines().empty());
    channel.CloseRequest();

    // Each client's plain HTTP attempt met the 400 page, everything else
    // went through over TLS.
    const auto lines = WaitForLog([&] { return server.TlsLog(); }, 4);
    ASSERT_GE(lines.size(), 4u) << server.TlsLog();  // the stream is logged once it ends
    EXPECT_EQ(lines[0].status, 400u);
    std::size_t refused = 0;
    for (const LogLine& line : lines) {
        refused += line.status == 400 ? 1 : 0;
    }
    EXPECT_EQ(refused, 2u) << server.TlsLog();
}

TEST_F(FrontServerInterop, HttpsOnlyNginxIsProbedAndStreamed) {
    FrontServer nginx = FrontServer::NginxHttps(m_camera->Port());
    if (nginx.Missing()) GTEST_SKIP() << nginx.Error();
    ASSERT_TRUE(Started(nginx));
    ProbeAndStreamOverTls(nginx);
}

TEST_F(FrontServerInterop, HttpsOnlyApacheIsProbedAndStreamed) {
    FrontServer apache = FrontServer::Apache(m_camera->Port());
    if (apache.Missing()) GTEST_SKIP() << apache.Error();
    ASSERT_TRUE(Started(apache));
    ProbeAndStreamOverTls(apache);
}

}  // namespace
}  // namespace brevane
