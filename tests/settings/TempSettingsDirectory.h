// Test helper: a temporary directory (support/TempDir.h) used as the settings
// directory for the lifetime of the object, with small file helpers.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "settings/SettingsDirectory.h"
#include "support/TempDir.h"

namespace brevane::test {

class TempSettingsDirectory : public brevane::test::TempDir {
   public:
    TempSettingsDirectory() { settings::SetSettingsDirectoryForTesting(Path() + "/"); }
    ~TempSettingsDirectory() { settings::SetSettingsDirectoryForTesting(""); }

    std::string Read(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
        out << text;
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(File(name)); }
    // Names of the directory's entries, sorted.
    std::string Listing() const {
        std::vector<std::string> entries;
        for (const auto& entry : std::filesystem::directory_iterator(Path())) {
            entries.push_back(entry.path().filename().string());
        }
        std::sort(entries.begin(), entries.end());
        std::string names;
        for (const auto& entry : entries) {
            names += entry + " ";
        }
        return names;
    }
};

}  // namespace brevane::test
