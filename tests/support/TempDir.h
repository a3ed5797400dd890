// Test helpers: a private temporary directory removed at the end of its
// scope, and a scope that runs in another working directory.
//
// Each test process changes only its own working directory; tests within one
// process run one after the other, so restoring it at scope end is enough.
#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace brevane::test {

class TempDir {
   public:
    // A new directory of the system's temporary folder that no other
    // process holds (creation fails for a name that exists, so a clash just
    // draws another name).
    TempDir() {
        std::random_device seed;
        std::mt19937_64 random(seed());
        std::error_code error;
        const auto base = std::filesystem::temp_directory_path(error);
        for (int attempt = 0; attempt < 100 && !error; ++attempt) {
            const auto candidate = base / ("darvik-test-" + std::to_string(random() % 1000000000000ull));
            if (std::filesystem::create_directory(candidate, error)) {
                m_path = candidate.generic_string();
                return;
            }
        }
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty()) {
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

   private:
    std::string m_path;
};

class ScopedWorkingDirectory {
   public:
    explicit ScopedWorkingDirectory(const std::string& path)
        : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~ScopedWorkingDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(m_previous, ignored);
    }
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

   private:
    std::filesystem::path m_previous;
};

}  // namespace brevane::test
