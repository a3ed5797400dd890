// Feeds arbitrary bytes to the preset file layer: the input's first line is
// a path expression, the rest a preset file. Loading the file, reading every
// record of two channels and creating the path must never crash, hang or
// leak, whatever the file holds; document failures may only come back as
// CXMLSettingsError or false.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "presets/XMLPrepositionReader.h"
#include "settings/SettingsDirectory.h"
#include "settings/XMLSettingsAPI.h"

namespace {

// The fuzzer's own settings directory, removed when the process exits.
char g_directory[] = "/tmp/darvik-fuzz-presets-XXXXXX";

const std::string& Directory() {
    static const std::string directory = [] {
        const char* made = ::mkdtemp(g_directory);
        std::string path = made != nullptr ? std::string(made) + "/" : std::string("/tmp/");
        brevane::settings::SetSettingsDirectoryForTesting(path);
        if (made != nullptr) {
            std::atexit([] {
                std::error_code ignored;
                std::filesystem::remove_all(g_directory, ignored);
            });
        }
        return path;
    }();
    return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto newline = input.find('\n');
    const std::string path = newline == std::string::npos ? input : input.substr(0, newline);
    const std::string file = newline == std::string::npos ? std::string() : input.substr(newline + 1);
    {
        std::ofstream out(Directory() + "fuzz.preset", std::ios::binary | std::ios::trunc);
        out << file;
    }

    CXMLPrepositionReader reader("Darvik");
    if (reader.Initialize("fuzz.preset")) {
        PrepositionRecord record;
        for (std::uint32_t channel = 0; channel < 2; ++channel) {
            for (std::uint32_t index = 0; index < 8; ++index) {
                reader.ReadPreposition(channel, index, record);
            }
        }
        reader.SetAutoSave(false);
        reader.WritePreposition(0, 3, PrepositionRecord{path, 7});
        reader.ClearChannel(1);
    }

    CXMLSettingsAPI settings;
    if (settings.Open("fuzz.preset") == CXMLSettingsAPI::kOk) {
        try {
            settings.CreateNode("%s", path.c_str());
            settings.SetString("v", "%s", path.c_str());
            settings.GetString("%s", path.c_str());
            settings.RemoveNode("%s", path.c_str());
        } catch (const CXMLSettingsError&) {
            // An invalid path or name is reported this way.
        }
    }
    return 0;
}
