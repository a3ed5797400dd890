// The host module's version on Linux: read by our own PE reader.
#include "platform/HostVersion.h"

namespace brevane::platform {

std::optional<ProductVersion> ReadHostModuleVersion() {
    try {
        return ReadProductVersion(HostModuleSearchPaths());
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace brevane::platform
