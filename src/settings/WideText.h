// Conversion between the module's 8-bit text and the wide text of the
// Windows API (Windows only).
//
// File paths use the ANSI code page, as every narrow path of the process
// does (the runtime's fopen, the executable's directory). Settings text uses
// the ANSI code page too, unless that is UTF-8: the module's text is 8-bit,
// one byte a character, so ISO-8859-1 is used then, as on Linux.
//
// Stateless functions; any thread may call them.
#pragma once

#include <string>
#include <string_view>

namespace brevane::settings {

std::wstring PathToWide(std::string_view path);

// Every byte sequence converts; characters the code page cannot hold come
// back as '?' (no best-fit look-alikes).
std::wstring TextToWide(std::string_view text);
std::string WideToText(std::wstring_view text);

}  // namespace brevane::settings
