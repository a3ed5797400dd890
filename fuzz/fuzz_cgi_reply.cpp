// Fuzzes the camera reply readers: GetParameter on arbitrary replies, keys,
// separators and line ends, and ParseInt on arbitrary text and on every value
// found. Input layout: the first line is the key, the rest the reply; the
// first bytes also pick a separator and line end for a second lookup.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "http/Utils.h"

namespace {

using brevane::Utils::GetParameter;
using brevane::Utils::ParseInt;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// What ParseInt must answer, worked out independently: the value when the
// text is an optionally signed run of digits within the signed 32-bit range.
bool Expected(std::string_view text, std::int64_t& value) {
    value = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    std::int64_t magnitude = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > 2147483648LL) {
            magnitude = 2147483649LL;  // out of range whatever follows
        }
    }
    value = negative ? -magnitude : magnitude;
    return value >= -2147483648LL && value <= 2147483647LL;
}

void CheckParseInt(std::string_view text) {
    std::int32_t parsed = 123;
    std::int64_t expected = 0;
    const bool accepted = ParseInt(text, parsed);
    Check(accepted == Expected(text, expected));
    Check(accepted ? parsed == expected : parsed == 0);
}

void CheckValue(std::string_view key, std::string_view separator, std::string_view text,
                std::string_view lineEnd) {
    const std::string value = GetParameter(key, separator, text, lineEnd);
    if (value.empty()) {
        return;
    }
    // A value lies within one line of the reply, right after a separator.
    Check(value.find_first_of(lineEnd) == std::string::npos);
    const std::string withSeparator = std::string(separator) + value;
    Check(text.find(withSeparator) != std::string_view::npos);
    CheckParseInt(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CheckParseInt(input);

    const std::size_t newline = input.find('\n');
    if (newline == std::string_view::npos) {
        return 0;
    }
    const std::string_view key = input.substr(0, newline);
    const std::string_view reply = input.substr(newline + 1);
    CheckValue(key, ":", reply, "\r\n");

    if (reply.size() >= 2) {
        CheckValue(key, reply.substr(0, 1), reply.substr(2), reply.substr(1, 1));
    }
    return 0;
}
