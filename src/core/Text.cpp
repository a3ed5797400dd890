#include "core/Text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>

namespace brevane::Text {

namespace {

bool ParseDecimal(std::string_view text, std::int32_t& value, bool saturate) {
    value = 0;
    std::size_t digitsStart = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        digitsStart = 1;
    }
    if (digitsStart >= text.size()) {
        return false;
    }
    for (std::size_t i = digitsStart; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    // from_chars takes a '-' but not a '+'; the syntax is already checked,
    // so the only failure left is a number beyond the signed 32-bit range.
    const char* first = text.data() + (text[0] == '+' ? 1 : 0);
    const char* last = text.data() + text.size();
    std::int32_t parsed = 0;
    const auto [end, error] = std::from_chars(first, last, parsed);
    if (error == std::errc::result_out_of_range && saturate) {
        value = text[0] == '-' ? std::numeric_limits<std::int32_t>::min()
                               : std::numeric_limits<std::int32_t>::max();
        return true;
    }
    if (error != std::errc() || end != last) {
        return false;
    }
    value = parsed;
    return true;
}

}  // namespace

bool ParseInt(std::string_view text, std::int32_t& value) { return ParseDecimal(text, value, false); }

bool ParseIntSaturating(std::string_view text, std::int32_t& value) {
    return ParseDecimal(text, value, true);
}

std::string GetParameter(std::string_view key, std::string_view separator, std::string_view text,
                         std::string_view lineEnd) {
    if (key.empty() || separator.empty() || lineEnd.empty()) {
        return {};
    }
    std::size_t position = text.find(key);
    while (position != std::string_view::npos) {
        std::size_t lineStop = text.find_first_of(lineEnd, position);
        if (lineStop == std::string_view::npos) {
            lineStop = text.size();
        }
        const std::size_t afterKey = position + key.size();
        const std::size_t sep = text.find(separator, position);
        if (sep != std::string_view::npos && sep >= afterKey && sep < lineStop) {
            bool onlyBlanks = true;
            for (std::size_t i = afterKey; i < sep; ++i) {
                if (text[i] != ' ' && text[i] != '\t') {
                    onlyBlanks = false;
                    break;
                }
            }
            const std::size_t valueStart = sep + separator.size();
            if (onlyBlanks && valueStart < text.size()) {
                const std::size_t valueEnd = lineStop < valueStart ? valueStart : lineStop;
                return std::string(text.substr(valueStart, valueEnd - valueStart));
            }
        }
        if (lineStop >= text.size()) {
            break;
        }
        // A key that itself holds a line-end character has its line end at
        // its own start; searching on from there would find it again forever.
        position = text.find(key, std::max(lineStop, position + 1));
    }
    return {};
}

std::string FormatV(const char* format, va_list arguments) {
    if (format == nullptr) {
        return {};
    }
    va_list measure;
    va_copy(measure, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length <= 0) {
        return {};
    }
    std::string result(static_cast<std::size_t>(length), '\0');
    // std::string keeps room for the terminating zero beyond size().
    std::vsnprintf(result.data(), result.size() + 1, format, arguments);
    return result;
}

std::string Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string result = FormatV(format, arguments);
    va_end(arguments);
    return result;
}

namespace {

// Every byte as it is, except those `keep` refuses, which become \xNN.
template <class Keep>
std::string Escaped(std::string_view text, Keep keep) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (keep(byte)) {
            out.push_back(ch);
        } else {
            out += "\\x";
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 0x0F]);
        }
    }
    return out;
}

}  // namespace

std::string Printable(std::string_view text) {
    return Escaped(text, [](unsigned char byte) { return byte >= 0x20 && byte < 0x7F && byte != '\\'; });
}

std::string LogText(std::string_view text) {
    return Escaped(text, [](unsigned char byte) { return byte >= 0x20 && byte != 0x7F && byte != '\\'; });
}

}  // namespace brevane::Text
