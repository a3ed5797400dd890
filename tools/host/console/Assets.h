// The console's page, style sheet and script, built into the program from
// console/assets/ (see console/CMakeLists.txt), so the console needs no
// files beside it and no network. Constant data, read from any thread.
#pragma once

#include <string_view>

namespace darvik::console {

extern const std::string_view kConsoleHtml;
extern const std::string_view kConsoleCss;
extern const std::string_view kConsoleJs;

}  // namespace darvik::console
