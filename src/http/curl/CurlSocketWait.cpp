#include "http/curl/CurlSocketWait.h"

#include <algorithm>
#include <cerrno>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Web {

CCurlSocketWait::~CCurlSocketWait() {
    if (const int wakeFd = m_wakeFd.exchange(-1); wakeFd >= 0) {
        close(wakeFd);
    }
}

void CCurlSocketWait::OnSocket(curl_socket_t socket, int what) {
    brevane::MutexLock lock(m_mutex);
    auto known = std::find_if(m_sockets.begin(), m_sockets.end(),
                              [&](const WatchedSocket& watched) { return watched.socket == socket; });
    if (what == CURL_POLL_REMOVE || what == CURL_POLL_NONE) {
        if (known != m_sockets.end()) {
            m_sockets.erase(known);
        }
    } else if (known != m_sockets.end()) {
        known->what = what;
    } else {
        m_sockets.push_back({socket, what});
    }
}

bool CCurlSocketWait::Watches(curl_socket_t socket) const {
    brevane::MutexLock lock(m_mutex);
    return std::any_of(m_sockets.begin(), m_sockets.end(),
                       [&](const WatchedSocket& watched) { return watched.socket == socket; });
}

bool CCurlSocketWait::Prepare() {
    if (m_wakeFd.load() >= 0) {
        return true;
    }
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        return false;
    }
    m_wakeFd = wakeFd;
    return true;
}

void CCurlSocketWait::Wake() {
    if (const int wakeFd = m_wakeFd.load(); wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wakeFd, &one, sizeof one);
    }
}

bool CCurlSocketWait::Wait(std::uint64_t timeoutMs, const std::function<bool()>& ready,
                           std::vector<SocketEvent>* events) {
    events->clear();
    std::vector<pollfd> watched;
    {
        brevane::MutexLock lock(m_mutex);
        watched.reserve(m_sockets.size() + 1);
        for (const WatchedSocket& socket : m_sockets) {
            const short wanted = static_cast<short>(((socket.what & CURL_POLL_IN) != 0 ? POLLIN : 0) |
                                                    ((socket.what & CURL_POLL_OUT) != 0 ? POLLOUT : 0));
            watched.push_back({socket.socket, wanted, 0});
        }
    }
    const int wakeFd = m_wakeFd.load();
    watched.push_back({wakeFd, POLLIN, 0});
    // Announced before the last look, so progress made by another thread
    // after the look wakes the poll.
    m_waiting = true;
    if (timeoutMs != 0 && ready()) {
        m_waiting = false;
        return true;
    }
    const int polled = poll(watched.data(), watched.size(), static_cast<int>(timeoutMs));
    m_waiting = false;
    if (polled < 0) {
        return errno == EINTR;
    }
    if (watched.back().revents != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t drained = read(wakeFd, &count, sizeof count);
    }
    watched.pop_back();
    for (const pollfd& socket : watched) {
        if (socket.revents == 0) {
            continue;
        }
        int bits = 0;
        bits |= (socket.revents & POLLIN) != 0 ? CURL_CSELECT_IN : 0;
        bits |= (socket.revents & POLLOUT) != 0 ? CURL_CSELECT_OUT : 0;
        bits |= (socket.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 ? CURL_CSELECT_ERR : 0;
        events->push_back({socket.fd, bits});
    }
    return true;
}

}  // namespace Web
