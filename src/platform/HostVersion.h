// The product version of the host's recorder module ("recbase.dll"), which
// decides how message levels are delivered to the host. Looked for beside the
// host executable, then in the current directory; the first file found is
// the one read. On Windows the system's version API reads it, elsewhere the
// PE reader of PeVersion.h.
//
// Stateless; callable from any thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/PeVersion.h"

namespace brevane::platform {

// File name of the host's recorder module.
inline constexpr const char* kHostModuleFileName = "recbase.dll";

// Where the host module is looked for, in order.
std::vector<std::string> HostModuleSearchPaths();

// Product version of the host module; empty when there is none or it
// carries no readable version resource.
std::optional<ProductVersion> ReadHostModuleVersion();

}  // namespace brevane::platform
