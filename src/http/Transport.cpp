#include "http/Transport.h"

#include <cstring>

namespace Web {

namespace {

bool MustEncode(unsigned char c) {
    if (c <= 0x20 || c >= 0x7F) {
        return true;
    }
    return std::strchr("\"<>\\^`{|}#", c) != nullptr;
}

}  // namespace

std::string RequestTarget(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string target;
    if (path.empty()) {
        return target;
    }
    target.reserve(path.size() + 1);
    if (path.front() != '/') {
        target.push_back('/');
    }
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (MustEncode(c)) {
            target.push_back('%');
            target.push_back(kHex[c >> 4]);
            target.push_back(kHex[c & 0x0F]);
        } else {
            target.push_back(ch);
        }
    }
    return target;
}

}  // namespace Web
