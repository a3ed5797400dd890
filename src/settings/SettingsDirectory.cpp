#include "settings/SettingsDirectory.h"

#include "core/Mutex.h"
#include "platform/Platform.h"

namespace brevane::settings {
namespace {

Mutex g_overrideMutex;
std::string g_override GUARDED_BY(g_overrideMutex);

}  // namespace

std::string SettingsDirectory() {
    {
        MutexLock guard(g_overrideMutex);
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
    MutexLock guard(g_overrideMutex);
    g_override = directory;
}

}  // namespace brevane::settings
