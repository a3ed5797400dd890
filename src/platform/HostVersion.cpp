#include "platform/HostVersion.h"

#include "platform/Platform.h"

namespace brevane::platform {

std::vector<std::string> HostModuleSearchPaths() {
    std::vector<std::string> paths;
    const std::string directory = ExecutableDirectory();
    if (!directory.empty()) {
        paths.push_back(directory + kHostModuleFileName);
    }
    paths.emplace_back(kHostModuleFileName);
    return paths;
}

}  // namespace brevane::platform
