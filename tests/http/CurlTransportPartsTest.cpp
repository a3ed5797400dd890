// The libcurl backend's pieces that work without a transfer: the socket
// wait (wake-ups from other threads, readiness, libcurl's socket news) and
// the naming of failures.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "http/curl/CurlFailure.h"
#include "http/curl/CurlSocketWait.h"

namespace {

using Web::CCurlSocketWait;
using namespace std::chrono_literals;

class SocketPair {
   public:
    SocketPair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, m_fds), 0); }
    ~SocketPair() {
        close(m_fds[0]);
        close(m_fds[1]);
    }
    int Near() const { return m_fds[0]; }
    void SendFromFar() const { ASSERT_EQ(write(m_fds[1], "x", 1), 1); }

   private:
    int m_fds[2] = {-1, -1};
};

std::chrono::milliseconds Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

TEST(CurlSocketWait, AWakeFromAnotherThreadEndsALongWaitAndAnEarlyOneIsNotLost) {
    CCurlSocketWait wait;
    ASSERT_TRUE(wait.Prepare());
    std::vector<CCurlSocketWait::SocketEvent> events;

    // Woken before it waits: the wake is kept for the next wait.
    wait.Wake();
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(wait.Wait(20000, [] { return false; }, &events));
    EXPECT_LT(Since(start), 10s);
    EXPECT_TRUE(events.empty());

    // Woken while it waits, by a thread that sees it waiting.
    std::thread waker([&] {
        while (!wait.Waiting()) {
            std::this_thread::sleep_for(1ms);
        }
        wait.Wake();
    });
    start = std::chrono::steady_clock::now();
    ASSERT_TRUE(wait.Wait(20000, [] { return false; }, &events));
    waker.join();
    EXPECT_LT(Since(start), 10s);
    EXPECT_FALSE(wait.Waiting());
}

TEST(CurlSocketWait, ReadinessAlreadyReachedSkipsThePollButAZeroTimeoutStillLooks) {
    CCurlSocketWait wait;
    ASSERT_TRUE(wait.Prepare());
    SocketPair pair;
    wait.OnSocket(pair.Near(), CURL_POLL_IN);
    pair.SendFromFar();
    std::vector<CCurlSocketWait::SocketEvent> events;

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(wait.Wait(20000, [] { return true; }, &events));
    EXPECT_LT(Since(start), 10s);
    EXPECT_TRUE(events.empty());  // returned before looking at the socket

    // A zero time-out is the look at what the sockets have now.
    ASSERT_TRUE(wait.Wait(0, [] { return true; }, &events));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].socket, pair.Near());
    EXPECT_EQ(events[0].events, CURL_CSELECT_IN);
}

TEST(CurlSocketWait, FollowsLibcurlsNewsAboutItsSockets) {
    CCurlSocketWait wait;
    ASSERT_TRUE(wait.Prepare());
    SocketPair pair;
    std::vector<CCurlSocketWait::SocketEvent> events;

    wait.OnSocket(pair.Near(), CURL_POLL_IN);
    EXPECT_TRUE(wait.Watches(pair.Near()));
    ASSERT_TRUE(wait.Wait(0, [] { return false; }, &events));
    EXPECT_TRUE(events.empty());  // nothing to read, and not asked to write

    // The same socket asked for writing too: changed, not added twice.
    wait.OnSocket(pair.Near(), CURL_POLL_INOUT);
    ASSERT_TRUE(wait.Wait(0, [] { return false; }, &events));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].events, CURL_CSELECT_OUT);

    wait.OnSocket(pair.Near(), CURL_POLL_REMOVE);
    EXPECT_FALSE(wait.Watches(pair.Near()));
    pair.SendFromFar();
    ASSERT_TRUE(wait.Wait(0, [] { return false; }, &events));
    EXPECT_TRUE(events.empty());
}

TEST(CurlFailure, ConnectFailuresAreToldApartByTheSystemsError) {
    using Web::Failure;
    using Web::FailureOfTransfer;
    EXPECT_EQ(FailureOfTransfer(CURLE_OK, 0), Failure::None);
    EXPECT_EQ(FailureOfTransfer(CURLE_COULDNT_CONNECT, ECONNREFUSED), Failure::Refused);
    EXPECT_EQ(FailureOfTransfer(CURLE_COULDNT_CONNECT, EHOSTUNREACH), Failure::Unreachable);
    EXPECT_EQ(FailureOfTransfer(CURLE_COULDNT_CONNECT, ENETUNREACH), Failure::Unreachable);
    EXPECT_EQ(FailureOfTransfer(CURLE_COULDNT_CONNECT, ETIMEDOUT), Failure::TimedOut);
    EXPECT_EQ(FailureOfTransfer(CURLE_RECV_ERROR, 0), Failure::Broken);
    EXPECT_EQ(FailureOfTransfer(CURLE_SSL_CONNECT_ERROR, 0), Failure::Tls);
    EXPECT_EQ(FailureOfTransfer(CURLE_OUT_OF_MEMORY, 0), Failure::Other);

    using Wait = Web::CCurlSession::WaitResult;
    EXPECT_EQ(Web::FailureOfWait(Wait::Ready), Failure::None);
    EXPECT_EQ(Web::FailureOfWait(Wait::Closed), Failure::Aborted);
    EXPECT_EQ(Web::FailureOfWait(Wait::TimedOut), Failure::TimedOut);
    EXPECT_EQ(Web::FailureOfWait(Wait::Failed), Failure::Other);
}

}  // namespace
