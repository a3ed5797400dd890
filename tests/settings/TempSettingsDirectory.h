// Test helper: a fresh temporary directory used as the settings directory
// for the lifetime of the object, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <algorithm>
#include <vector>
#include <string>

#include "settings/SettingsDirectory.h"
#include "support/TempDir.h"

namespace brevane::testing {

class TempSettingsDirectory {
   public:
    TempSettingsDirectory() : m_path(m_dir.Path() + "/") { settings::SetSettingsDirectoryForTesting(m_path); }
    ~TempSettingsDirectory() { settings::SetSettingsDirectoryForTesting(""); }
    TempSettingsDirectory(const TempSettingsDirectory&) = delete;
    TempSettingsDirectory& operator=(const TempSettingsDirectory&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + name; }

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
        std::string names;
        std::vector<std::string> entries;
        for (const auto& entry : std::filesystem::directory_iterator(m_path)) {
            entries.push_back(entry.path().filename().string());
        }
        std::sort(entries.begin(), entries.end());
        for (const auto& entry : entries) {
            names += entry + " ";
        }
        return names;
    }

   private:
    darvik::test::TempDir m_dir;  // removed with everything in it
    std::string m_path;
};

}  // namespace brevane::testing
