// Where settings files live: the directory of the host process's executable,
// so each recorder installation keeps the preset files beside itself.
//
// Any thread may call. Tests may redirect the directory for the whole
// process; the module itself never does.
#pragma once

#include <string>

namespace brevane::settings {

// The settings directory with its trailing '/', or empty when the
// executable's path is unknown (file names are then used as given).
std::string SettingsDirectory();

// Full path of a file of the settings directory.
std::string SettingsFilePath(const std::string& fileName);

// For tests: use `directory` (with trailing '/') instead of the executable's
// directory; an empty text restores the default.
void SetSettingsDirectoryForTesting(const std::string& directory);

}  // namespace brevane::settings
