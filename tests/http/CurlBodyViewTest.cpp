// Body views of the libcurl backend's receive buffer, taken at the
// transport's level: the bytes shown in place come in order across the
// buffer's wrap, what is not released is shown again, and a view stays
// readable and releasable after its response was closed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "http/ScriptedServer.h"
#include "http/Transport.h"
#include "http/curl/CurlResponse.h"

namespace {

using brevane::test::ScriptedServer;

// Bytes whose value depends on their position over a long period, so a run
// shown out of place or twice does not match.
std::string Body(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        body[i] = static_cast<char>((i + i / 251) & 0xFF);
    }
    return body;
}

std::string Shown(const Web::BodyView& view) {
    std::string bytes(reinterpret_cast<const char*>(view.first), view.firstSize);
    if (view.secondSize > 0) {
        bytes.append(reinterpret_cast<const char*>(view.second), view.secondSize);
    }
    return bytes;
}

std::shared_ptr<Web::CHttpResponse> Get(std::uint16_t port) {
    Web::SessionParams session;
    session.host = "127.0.0.1";
    session.port = port;
    session.userAgent = "BodyViewTest";
    session.timeoutMs = 5000;
    const std::shared_ptr<Web::CHttpSession> opened = Web::OpenSession(session);
    if (!opened) {
        return nullptr;
    }
    Web::ExchangeParams exchange;
    exchange.target = "/stream";
    exchange.verb = "GET";
    return opened->Exchange(exchange).response;
}

TEST(CurlBodyView, PartialReleasesShowTheRestAgainAndViewsSpanTheBufferWrap) {
    // Several buffers' worth, released a third at a time so the buffer
    // never empties and its writes run round its end.
    const std::string body = Body(4 * Web::CCurlResponse::kBufferCapacity + 12345);
    ScriptedServer server([&](auto& e) { return e.Reply(200, body); });
    const auto response = Get(server.Port());
    ASSERT_NE(response, nullptr);

    std::string taken;
    bool spannedTheWrap = false;
    bool overReleased = false;
    for (;;) {
        // As the channels read: ask what is waiting, then look at it.
        std::uint32_t available = 0;
        ASSERT_TRUE(response->QueryDataAvailable(&available));
        Web::BodyView view;
        ASSERT_TRUE(response->ViewData(&view));
        if (view.Size() == 0) {
            break;  // the body has ended
        }
        ASSERT_GE(view.Size(), available);
        ASSERT_LE(view.Size(), Web::CCurlResponse::kBufferCapacity);
        ASSERT_GT(view.firstSize, 0u);
        spannedTheWrap = spannedTheWrap || view.secondSize > 0;
        const std::string shown = Shown(view);
        ASSERT_EQ(shown, body.substr(taken.size(), shown.size())) << "at " << taken.size();
        if (!overReleased && view.Size() > 1000) {
            // Releasing more than was shown drops only what was shown, even
            // when more has arrived since.
            ASSERT_TRUE(response->QueryDataAvailable(&available));
            response->ReleaseData(view.Size() + 4096);
            taken += shown;
            overReleased = true;
            continue;
        }
        const std::uint32_t release = std::max<std::uint32_t>(1, view.Size() / 3);
        response->ReleaseData(release);
        taken += shown.substr(0, release);
    }
    EXPECT_EQ(taken.size(), body.size());
    EXPECT_TRUE(taken == body);
    EXPECT_TRUE(spannedTheWrap);
    EXPECT_TRUE(overReleased);
    // The body has ended: the next view is empty again.
    Web::BodyView after;
    EXPECT_TRUE(response->ViewData(&after));
    EXPECT_EQ(after.Size(), 0u);
}

// A reader a little slower than the socket finds it full at every query, so
// libcurl reads past the buffer and pauses. The query that resumes the
// transfer shows what libcurl held back and reads no further, so at most
// every other query pauses (each pause is a copy of libcurl's own).
TEST(CurlBodyView, AResumedTransferIsNotPausedAgainByTheSameQuery) {
    const std::string body = Body(32 * Web::CCurlResponse::kBufferCapacity);
    ScriptedServer server([&](auto& e) { return e.Reply(200, body); });
    const auto response = Get(server.Port());
    ASSERT_NE(response, nullptr);
    std::size_t taken = 0;
    std::uint32_t queries = 0;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::uint32_t available = 0;
        ASSERT_TRUE(response->QueryDataAvailable(&available));
        ++queries;
        Web::BodyView view;
        ASSERT_TRUE(response->ViewData(&view));
        if (view.Size() == 0) {
            break;
        }
        taken += view.Size();
        response->ReleaseData(view.Size());
    }
    ASSERT_EQ(taken, body.size());
    const Web::ResponseStats stats = response->Stats();
    EXPECT_LE(stats.pauses, queries / 2 + 1) << queries << " queries";
}

TEST(CurlBodyView, AViewOutlivesTheCloseOfItsResponseAndIsReleasedHarmlessly) {
    const std::string body = Body(100000);
    ScriptedServer server([&](auto& e) {
        // The body never ends: the response is closed while it runs.
        if (!e.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n") || !e.Send(body)) {
            return false;
        }
        e.WaitStopped(20000);
        return false;
    });
    const auto response = Get(server.Port());
    ASSERT_NE(response, nullptr);
    Web::BodyView view;
    std::uint32_t available = 0;
    ASSERT_TRUE(response->QueryDataAvailable(&available));
    ASSERT_TRUE(response->ViewData(&view));
    ASSERT_GT(view.Size(), 0u);
    const std::string before = Shown(view);
    EXPECT_EQ(before, body.substr(0, before.size()));

    response->Close();
    // The bytes shown are still there and unchanged, the release is taken,
    // and reading fails from now on.
    EXPECT_EQ(Shown(view), before);
    response->ReleaseData(view.Size() / 2);
    response->ReleaseData(view.Size());
    Web::BodyView closed;
    EXPECT_FALSE(response->ViewData(&closed));
    EXPECT_EQ(closed.Size(), 0u);
    EXPECT_FALSE(response->QueryDataAvailable(&available));
    // Through the free functions a null handle shows nothing either.
    EXPECT_FALSE(Web::ViewData(nullptr, &closed));
    Web::ReleaseData(nullptr, 10);
}

}  // namespace
