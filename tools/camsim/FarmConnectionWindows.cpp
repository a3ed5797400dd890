// The farm's HTTP exchanges over Winsock: one blocking connection per
// request, "Connection: close", the reply read until the farm closes.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <mutex>

#include "FarmConnection.h"

namespace darvik::camsim {

namespace {

constexpr DWORD kTimeoutMs = 30000;

struct Address {
    std::string host;
    std::string port;
};

bool ParseUrl(const std::string& url, Address& address) {
    std::string rest = url;
    if (rest.starts_with("http://")) rest.erase(0, 7);
    while (!rest.empty() && rest.back() == '/') rest.pop_back();
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == rest.size() ||
        rest.find('/') != std::string::npos) {
        return false;
    }
    address = {rest.substr(0, colon), rest.substr(colon + 1)};
    return true;
}

bool StartWinsock() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

std::string SocketError(const std::string& what) {
    return what + " failed (" + std::to_string(WSAGetLastError()) + ")";
}

FarmReply Fail(std::string error) {
    FarmReply reply;
    reply.error = std::move(error);
    return reply;
}

// Sends the request and reads everything the farm answers on `s`.
FarmReply Exchange(SOCKET s, const std::string& request) {
    for (std::size_t sent = 0; sent < request.size();) {
        const int n = send(s, request.data() + sent, static_cast<int>(request.size() - sent), 0);
        if (n <= 0) return Fail(SocketError("send"));
        sent += static_cast<std::size_t>(n);
    }
    std::string response;
    char buffer[16384];
    for (;;) {
        const int n = recv(s, buffer, sizeof buffer, 0);
        if (n < 0) return Fail(SocketError("recv"));
        if (n == 0) break;
        response.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t headerEnd = response.find("\r\n\r\n");
    const std::size_t space = response.find(' ');
    if (!response.starts_with("HTTP/1.") || headerEnd == std::string::npos || space == std::string::npos) {
        return Fail("the farm's reply is not HTTP");
    }
    FarmReply reply;
    reply.status = static_cast<unsigned>(std::strtoul(response.c_str() + space + 1, nullptr, 10));
    reply.body = response.substr(headerEnd + 4);
    return reply;
}

}  // namespace

std::string FarmUrl() {
    const char* url = std::getenv("DARVIK_CAMSIM_FARM");
    return url != nullptr ? url : "";
}

FarmReply FarmRequest(const std::string& method, const std::string& path, const std::string& body) {
    const std::string url = FarmUrl();
    Address address;
    if (url.empty()) {
        return Fail(
            "DARVIK_CAMSIM_FARM names no simulator farm: run the tests through scripts/test-windows, or start "
            "\"darvik-camsim --farm\" on the Linux side and set DARVIK_CAMSIM_FARM to the URL it prints");
    }
    if (!ParseUrl(url, address)) return Fail("DARVIK_CAMSIM_FARM is not http://HOST:PORT: \"" + url + "\"");
    if (!StartWinsock()) return Fail("Winsock does not start");

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &found) != 0 || found == nullptr) {
        return Fail("cannot resolve the farm's address " + url);
    }
    const SOCKET s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (s == INVALID_SOCKET) {
        freeaddrinfo(found);
        return Fail(SocketError("socket"));
    }
    const DWORD timeout = kTimeoutMs;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    FarmReply reply;
    if (connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0) {
        reply = Fail(SocketError("connecting to the farm at " + url));
    } else {
        reply = Exchange(s, method + " " + path + " HTTP/1.1\r\nHost: " + address.host + ":" + address.port +
                                "\r\nContent-Type: application/json\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    }
    freeaddrinfo(found);
    closesocket(s);
    return reply;
}

}  // namespace darvik::camsim
