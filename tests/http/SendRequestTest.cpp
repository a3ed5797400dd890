// SendRequestEx end to end: result codes, the reply buffer and the exact
// failure lines with host and port, thinned out by the throttle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/HttpClient.h"
#include "http/ScriptedServer.h"
#include "http/Utils.h"
#include "support/DeviceInfo.h"
#include "support/RecordingLog.h"

namespace brevane {
namespace {

using test::LocalDevice;
using test::RecordingSink;
using test::ScriptedServer;

bool Answer(ScriptedServer::Exchange& e) {
    const std::string& target = e.request().target;
    if (target == "/cgi-bin/get?sys") {
        return e.Reply(200, "s_prid:42\r\ns_ssta:01\r\n");
    }
    if (target == "/cgi-bin/get?one") {
        return e.Reply(200, "1");
    }
    if (target == "/cgi-bin/get?cut") {
        e.Send("HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\nm_qual:1250\r\nm_fram:1");
        return false;  // the connection ends 19 bytes short
    }
    if (target == "/cgi-bin/set?empty") {
        return e.Send("HTTP/1.1 204 No Content\r\n\r\n");
    }
    return e.Reply(404, "not here");
}

std::string Text(const std::vector<std::uint8_t>& response) {
    return std::string(reinterpret_cast<const char*>(response.data()));
}

TEST(SendRequestEx, SuccessLeavesTheReplyZeroTerminated) {
    ScriptedServer server(Answer);
    Web::CHttpClient client(LocalDevice(server.Port(), 1000), "Brevane::HttpClient");
    RecordingSink sink;
    std::vector<std::uint8_t> response{9, 9};
    ASSERT_TRUE(Utils::SendRequestEx("/cgi-bin/get?sys", response, client, &sink));
    ASSERT_FALSE(response.empty());
    EXPECT_EQ(response.back(), 0);
    EXPECT_EQ(Text(response), "s_prid:42\r\ns_ssta:01\r\n");
    EXPECT_EQ(Utils::GetParameter("s_ssta", ":", Text(response), "\r\n"), "01");

    // A one-byte reply is a reply.
    ASSERT_TRUE(Utils::SendRequestEx("/cgi-bin/get?one", response, client, &sink));
    EXPECT_EQ(Text(response), "1");
    EXPECT_TRUE(sink.Lines().empty());
    EXPECT_EQ(sink.m_reportCounter.load(), 0u);
}

TEST(SendRequestEx, FailuresReportTheirFixedLines) {
    ScriptedServer server(Answer);
    const std::string host = "host 127.0.0.1:" + std::to_string(server.Port());
    Web::CHttpClient client(LocalDevice(server.Port(), 1000), "Brevane::HttpClient");
    RecordingSink sink;
    std::vector<std::uint8_t> response;

    EXPECT_FALSE(Utils::SendRequestEx("/cgi-bin/get?nothing", response, client, &sink));
    EXPECT_TRUE(response.empty());  // no 2xx reply: not even the terminator

    EXPECT_FALSE(Utils::SendRequestEx("/cgi-bin/set?empty", response, client, &sink));
    EXPECT_EQ(response, std::vector<std::uint8_t>{0});

    // '%' in a path is printed as it stands.
    EXPECT_FALSE(Utils::SendRequestEx("/cgi-bin/get?100%s", response, client, &sink));

    // A reply cut short is not taken for the whole reply.
    EXPECT_FALSE(Utils::SendRequestEx("/cgi-bin/get?cut", response, client, &sink));
    EXPECT_EQ(response, std::vector<std::uint8_t>{0});

    const auto lines = sink.Lines();
    ASSERT_EQ(lines.size(), 4u);
    for (const auto& line : lines) {
        EXPECT_EQ(line.level, 1);
    }
    EXPECT_EQ(lines[0].text, "brevane::Utils::SendRequestEx: " + host +
                                 " sent does not process request \"/cgi-bin/get?nothing\", "
                                 "status code = 404");
    EXPECT_EQ(lines[1].text,
              "brevane::Utils::SendRequestEx: incorrect response for request "
              "\"/cgi-bin/set?empty\" from " + host);
    EXPECT_EQ(lines[2].text, "brevane::Utils::SendRequestEx: " + host +
                                 " sent does not process request \"/cgi-bin/get?100%s\", "
                                 "status code = 404");
    EXPECT_EQ(lines[3].text,
              "brevane::Utils::SendRequestEx: incorrect response for request "
              "\"/cgi-bin/get?cut\" from " + host);
}

TEST(SendRequestEx, UnreachableCameraIsReportedThroughTheThrottle) {
    const std::uint16_t port = ScriptedServer::UnusedPort();
    Web::CHttpClient client(LocalDevice(port, 1000), "Brevane::HttpClient");
    RecordingSink sink;
    std::vector<std::uint8_t> response;
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(Utils::SendRequestEx("/cgi-bin/get?sys", response, client, &sink));
    }
    EXPECT_EQ(sink.m_reportCounter.load(), 20u);
    const auto lines = sink.Lines();
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[0].text,
              "brevane::Utils::SendRequestEx: can not send request \"/cgi-bin/get?sys\" to "
              "host 127.0.0.1:" + std::to_string(port));

    // Without a sink nothing is reported and the counter of no one moves.
    EXPECT_FALSE(Utils::SendRequestEx("/cgi-bin/get?sys", response, client, nullptr));
    EXPECT_EQ(sink.m_reportCounter.load(), 20u);
}

}  // namespace
}  // namespace brevane
