#include "kit/CameraOptions.h"

namespace darvik::host {

bool SplitCameraAddress(const std::string& text, std::string& host, std::uint16_t& port,
                        std::string& error) {
    std::string hostPart = text;
    std::string portPart;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos) {
            error = "missing ']' in camera address \"" + text + "\"";
            return false;
        }
        hostPart = text.substr(1, close - 1);
        const std::string rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                error = "unexpected text after ']' in camera address \"" + text + "\"";
                return false;
            }
            portPart = rest.substr(1);
            if (portPart.empty()) {
                error = "empty port in camera address \"" + text + "\"";
                return false;
            }
        }
    } else {
        const auto colon = text.find(':');
        if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
            hostPart = text.substr(0, colon);
            portPart = text.substr(colon + 1);
            if (portPart.empty()) {
                error = "empty port in camera address \"" + text + "\"";
                return false;
            }
        }
    }
    if (hostPart.empty()) {
        error = "empty host in camera address \"" + text + "\"";
        return false;
    }
    std::uint32_t value = 80;
    if (!portPart.empty()) {
        value = 0;
        for (const char c : portPart) {
            if (c < '0' || c > '9' || value > 65535) {
                error = "invalid port \"" + portPart + "\"";
                return false;
            }
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
        }
        if (value == 0 || value > 65535) {
            error = "port out of range: \"" + portPart + "\"";
            return false;
        }
    }
    host = hostPart;
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool Resolve(CameraOptions& options, std::string& error) {
    return SplitCameraAddress(options.camera, options.host, options.port, error);
}

void ApplyConnection(const CameraOptions& options, OpenParameters& parameters) {
    parameters.connection.address = options.host;
    parameters.connection.port = options.port;
    parameters.connection.userName = options.user;
    parameters.connection.password = options.password;
}

}  // namespace darvik::host
