#include "http/HeaderParsing.h"

#include <cctype>
#include <cstring>

namespace Web {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto a = static_cast<unsigned char>(text[i]);
        const auto b = static_cast<unsigned char>(prefix[i]);
        if (std::tolower(a) != std::tolower(b)) {
            return false;
        }
    }
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

std::uint32_t ParseHeaderNumber(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty() || text.size() > 10) {
        return 0;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(value);
}

std::uint32_t ParseStatusLine(std::string_view line) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos || line.size() < blank + 4) {
        return 0;
    }
    std::uint32_t code = 0;
    for (std::size_t i = blank + 1; i < blank + 4; ++i) {
        if (line[i] < '0' || line[i] > '9') {
            return 0;
        }
        code = code * 10 + static_cast<std::uint32_t>(line[i] - '0');
    }
    return code;
}

bool IsTokenChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           (c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
}

bool IsToken(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (!IsTokenChar(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace Web
