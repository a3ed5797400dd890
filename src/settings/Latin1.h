// Conversion between the module's 8-bit ISO-8859-1 text and the UTF-8 text
// the XML library keeps in memory.
//
// Stateless functions; any thread may call them.
#pragma once

#include <string>
#include <string_view>

namespace brevane::settings {

// Every byte is one ISO-8859-1 character; the result is its UTF-8 form.
std::string Latin1ToUtf8(std::string_view latin1);

// Characters U+0000..U+00FF become one byte each. Characters beyond Latin-1
// and malformed sequences become '?', one per character or bad byte.
std::string Utf8ToLatin1(std::string_view utf8);

}  // namespace brevane::settings
