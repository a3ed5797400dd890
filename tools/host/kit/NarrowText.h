// The module's narrow text and the UTF-8 a host shows or takes from a user.
// The module keeps names, models and log lines as 8-bit text in the
// platform's narrow encoding: ISO-8859-1 on Linux (the encoding of its
// preset files), the ANSI code page on Windows. A host that hands such text
// to anything expecting UTF-8 (JSON, a web page) converts it here first.
//
// Stateless functions; any thread may call them.
#pragma once

#include <string>
#include <string_view>

namespace darvik::host {

// Every byte of the module's text as UTF-8; never fails (a byte the code
// page does not define becomes U+FFFD).
std::string NarrowToUtf8(std::string_view narrow);

// UTF-8 text in the module's narrow encoding. False, with `narrow` empty,
// for malformed UTF-8, a NUL (the module's C strings would end there), or a
// character the narrow encoding cannot hold.
bool Utf8ToNarrow(std::string_view utf8, std::string& narrow);

}  // namespace darvik::host
