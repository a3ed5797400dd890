// brevane::Text: the module's one way to read numbers and name/value pairs
// out of text (camera replies, preset files, the host's open parameters)
// and to format printf-style into a string.
//
// Stateless functions, callable from any thread.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/PrintfFormat.h"

namespace brevane::Text {

// Strict decimal reader: an optional sign and at least one digit, nothing
// else, within the signed 32-bit range. Sets `value` to 0 first.
bool ParseInt(std::string_view text, std::int32_t& value);

// ParseInt for text where only the sign and size of a number matter: the
// same syntax, but a number beyond the signed 32-bit range is read as the
// nearest end of that range instead of being refused.
bool ParseIntSaturating(std::string_view text, std::int32_t& value);

// The value of `key` in a reply of `separator`-separated name/value lines
// ended by any character of `lineEnd`; empty when absent. The first line that
// names the key wins; the value is returned untrimmed.
std::string GetParameter(std::string_view key, std::string_view separator, std::string_view text,
                         std::string_view lineEnd);

// printf-style formatting into a new string of any length.
std::string Format(const char* format, ...)
    DARVIK_PRINTF_FORMAT(1, 2)
    ;
std::string FormatV(const char* format, va_list arguments);

// The text for a log line: printable ASCII as it is, every other byte
// (a NUL, a control character) as \xNN, so nothing in it is hidden or cut.
std::string Printable(std::string_view text);

// The text for a log line that carries what a camera, a host or a user
// supplied (a preset name, a model name): control characters (below 0x20,
// and 0x7F) and the backslash as \xNN, so a CR LF in it cannot start a
// forged line; bytes from 0x80 up are kept, as they are letters of the
// module's 8-bit text.
std::string LogText(std::string_view text);

}  // namespace brevane::Text
