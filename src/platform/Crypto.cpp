#include "platform/Crypto.h"

#include <vector>

namespace brevane::platform {

std::string RandomHex(std::size_t size) {
    std::vector<unsigned char> bytes(size);
    if (!RandomBytes(bytes.data(), bytes.size())) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(size * 2);
    for (const unsigned char byte : bytes) {
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0f];
    }
    return text;
}

}  // namespace brevane::platform
