// Linux: the module's narrow text is ISO-8859-1, one byte per code point
// U+0000 to U+00FF.
#include "kit/NarrowText.h"

namespace darvik::host {

std::string NarrowToUtf8(std::string_view narrow) {
    std::string utf8;
    utf8.reserve(narrow.size());
    for (const char ch : narrow) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x80) {
            utf8.push_back(ch);
        } else {
            utf8.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return utf8;
}

bool Utf8ToNarrow(std::string_view utf8, std::string& narrow) {
    narrow.clear();
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead == 0) {
            return false;
        }
        if (lead < 0x80) {
            out.push_back(static_cast<char>(lead));
            continue;
        }
        // Only the two-byte forms of U+0080 to U+00FF fit; C2 and C3 lead
        // them. Anything else is beyond Latin-1 or not UTF-8 at all.
        if ((lead != 0xC2 && lead != 0xC3) || i + 1 >= utf8.size()) {
            return false;
        }
        const auto next = static_cast<unsigned char>(utf8[i + 1]);
        if ((next & 0xC0) != 0x80) {
            return false;
        }
        out.push_back(static_cast<char>(((lead & 0x03) << 6) | (next & 0x3F)));
        ++i;
    }
    narrow = std::move(out);
    return true;
}

}  // namespace darvik::host
