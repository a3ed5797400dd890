#include "settings/SettingsDirectory.h"

#include <mutex>

#include "platform/Platform.h"

namespace brevane::settings {
namespace {

std::mutex g_overrideMutex;
std::string g_override;  // guarded by g_overrideMutex

}  // namespace

std::string SettingsDirectory() {
    {
        std::lock_guard<std::mutex> guard(g_overrideMutex);
        if (!g_override.empty()) {
            return g_override;
        }
    }
    return platform::ExecutableDirectory();
}

std::string SettingsFilePath(const std::string& fileName) {
    return SettingsDirectory() + fileName;
}

void SetSettingsDirectoryForTesting(const std::string& directory) {
    std::lock_guard<std::mutex> guard(g_overrideMutex);
    g_override = directory;
}

}  // namespace brevane::settings
