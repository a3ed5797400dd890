#include "http/TestSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace brevane::test::sock {

namespace {

bool Wait(Handle socket, short events, int ms) {
    pollfd entry{static_cast<int>(socket), events, 0};
    return ::poll(&entry, 1, ms) > 0;
}

long Result(ssize_t moved) {
    if (moved >= 0) {
        return static_cast<long>(moved);
    }
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kWouldBlock : -1;
}

}  // namespace

Handle Listen(std::uint16_t port, std::uint16_t* bound) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return kInvalid;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return kInvalid;
    }
    *bound = ntohs(address.sin_port);
    return fd;
}

Handle Accept(Handle listener) {
    const int fd = ::accept4(static_cast<int>(listener), nullptr, nullptr,
                             SOCK_CLOEXEC | SOCK_NONBLOCK);
    return fd < 0 ? kInvalid : fd;
}

bool WaitReadable(Handle socket, int ms) { return Wait(socket, POLLIN, ms); }
bool WaitWritable(Handle socket, int ms) { return Wait(socket, POLLOUT, ms); }

long Send(Handle socket, const char* data, std::size_t size) {
    return Result(::send(static_cast<int>(socket), data, size, MSG_NOSIGNAL));
}

long Receive(Handle socket, char* data, std::size_t size) {
    return Result(::recv(static_cast<int>(socket), data, size, 0));
}

void Shutdown(Handle socket) { ::shutdown(static_cast<int>(socket), SHUT_RDWR); }
void Close(Handle socket) { ::close(static_cast<int>(socket)); }

}  // namespace brevane::test::sock

namespace brevane::test {

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name.c_str());
    }
}

}  // namespace brevane::test
