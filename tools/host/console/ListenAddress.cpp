#include "console/ListenAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>

#include "console/Replies.h"

namespace darvik::console {

using reply::Lower;

bool IsLoopbackAddress(const std::string& address) {
    if (Lower(address) == "localhost") {
        return true;
    }
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    return inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

bool ParseListenAddress(const std::string& text, std::string& address, std::uint16_t& port, std::string& error) {
    std::string host = text;
    std::string portText;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos || (close + 1 < text.size() && text[close + 1] != ':')) {
            error = "--listen wants ADDR:PORT or [V6]:PORT, not \"" + text + "\"";
            return false;
        }
        host = text.substr(1, close - 1);
        portText = close + 2 <= text.size() ? text.substr(close + 2) : "";
    } else if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (host.find(':') != std::string::npos) {
            error = "write an IPv6 address in brackets: [" + host + "]:PORT";
            return false;
        }
    }
    if (host.empty()) {
        host = "127.0.0.1";
    }
    if (Lower(host) == "localhost") {
        host = "127.0.0.1";
    }
    long value = 8088;
    if (!portText.empty()) {
        char* end = nullptr;
        value = std::strtol(portText.c_str(), &end, 10);
        if (*end != '\0' || value < 0 || value > 65535) {
            error = "invalid port \"" + portText + "\" in --listen";
            return false;
        }
    }
    in_addr v4{};
    in6_addr v6{};
    if (inet_pton(AF_INET, host.c_str(), &v4) != 1 && inet_pton(AF_INET6, host.c_str(), &v6) != 1) {
        error = "--listen wants a numeric address, not \"" + host + "\"";
        return false;
    }
    address = host;
    port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace darvik::console
