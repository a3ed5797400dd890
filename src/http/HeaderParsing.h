// Pieces of HTTP/1.1 header and status-line syntax that both transport
// backends read the same way: the status code of a status line, a numeric
// header value, case-insensitive header names, and token characters (a
// request verb). Pure functions on their arguments; any thread.
#pragma once

#include <cstdint>
#include <string_view>

namespace Web {

// `text` begins with `prefix`, ignoring ASCII case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// `a` equals `b`, ignoring ASCII case (header names, scheme names).
bool EqualsNoCase(std::string_view a, std::string_view b);

// `text` without leading and trailing blanks (space, tab).
std::string_view TrimBlanks(std::string_view text);

// A decimal number that fits 32 bits; 0 for anything else, as a failed
// numeric header query leaves its field.
std::uint32_t ParseHeaderNumber(std::string_view text);

// "HTTP/1.1 401 Unauthorized" -> 401; 0 when malformed.
std::uint32_t ParseStatusLine(std::string_view line);

// A character allowed in a token (a method, a header name).
bool IsTokenChar(char c);

// A non-empty run of token characters.
bool IsToken(std::string_view text);

}  // namespace Web
