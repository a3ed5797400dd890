#include "http/TestSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace brevane::test::sock {

namespace {

SOCKET Native(Handle socket) { return static_cast<SOCKET>(socket); }

// Winsock is started once for the test process and left running.
bool Started() {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

bool Wait(Handle socket, short events, int ms) {
    WSAPOLLFD entry{Native(socket), events, 0};
    return ::WSAPoll(&entry, 1, ms) > 0;
}

long Result(int moved) {
    if (moved != SOCKET_ERROR) {
        return moved;
    }
    const int error = ::WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINTR ? kWouldBlock : -1;
}

}  // namespace

Handle Listen(std::uint16_t port, std::uint16_t* bound) {
    if (!Started()) {
        return kInvalid;
    }
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        return kInvalid;
    }
    // Windows lets SO_REUSEADDR take a port another socket is bound to;
    // exclusive use is what the POSIX side gets by default.
    BOOL on = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
                 sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    int length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s, 64) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::closesocket(s);
        return kInvalid;
    }
    *bound = ntohs(address.sin_port);
    return static_cast<Handle>(s);
}

Handle Accept(Handle listener) {
    const SOCKET s = ::accept(Native(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET) {
        return kInvalid;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    return static_cast<Handle>(s);
}

bool WaitReadable(Handle socket, int ms) { return Wait(socket, POLLRDNORM, ms); }
bool WaitWritable(Handle socket, int ms) { return Wait(socket, POLLWRNORM, ms); }

long Send(Handle socket, const char* data, std::size_t size) {
    return Result(::send(Native(socket), data, static_cast<int>(size), 0));
}

long Receive(Handle socket, char* data, std::size_t size) {
    return Result(::recv(Native(socket), data, static_cast<int>(size), 0));
}

void Shutdown(Handle socket) { ::shutdown(Native(socket), SD_BOTH); }
void Close(Handle socket) { ::closesocket(Native(socket)); }

}  // namespace brevane::test::sock

namespace brevane::test {

void SetEnvironment(const std::string& name, const std::optional<std::string>& value) {
    // An empty value removes the variable from the C runtime's and the
    // process's environment alike.
    ::_putenv_s(name.c_str(), value ? value->c_str() : "");
}

}  // namespace brevane::test
