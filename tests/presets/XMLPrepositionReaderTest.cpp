#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "presets/XMLPrepositionReader.h"
#include "settings/Latin1.h"
#include "settings/TempSettingsDirectory.h"
#include "settings/XMLSettingsAPI.h"

namespace {

using brevane::test::TempSettingsDirectory;

constexpr const char* kFile = "Darvik_0011223344AA.preset";

class PresetFile : public ::testing::Test {
   protected:
    // The file as another reader of the settings layer sees it now.
    bool FileHas(const char* path) {
        CXMLSettingsAPI file;
        return file.Open(kFile) == CXMLSettingsAPI::kOk && file.NodeExists("%s", path);
    }

    TempSettingsDirectory m_dir;
};

TEST_F(PresetFile, InitializeCreatesTheFileAndSwitchesAutoSaveOn) {
    CXMLPrepositionReader reader("Darvik");
    EXPECT_FALSE(reader.GetAutoSave());
    ASSERT_TRUE(reader.Initialize(kFile));
    EXPECT_TRUE(reader.GetAutoSave());
    EXPECT_EQ(reader.FilePath(), m_dir.File(kFile));
    EXPECT_EQ(m_dir.Read(kFile), "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<Darvik/>\n");

    // Opening an existing file keeps its records.
    ASSERT_TRUE(reader.WritePreposition(0, 0, {"Door", 4}));
    CXMLPrepositionReader second("Darvik");
    ASSERT_TRUE(second.Initialize(kFile));
    PrepositionRecord record;
    ASSERT_TRUE(second.ReadPreposition(0, 0, record));
    EXPECT_EQ(record.name, "Door");
    EXPECT_EQ(record.slot, 4);
}

// In a directory whose name is not ASCII; a file kept aside before is
// replaced by the newer one.
TEST_F(PresetFile, UnreadableFileIsKeptAsideNotOverwritten) {
    // "Pr\xE4sets" in the file system's narrow encoding: UTF-8 on Linux, the
    // ANSI code page on Windows.
    const std::string name = brevane::settings::Latin1ToUtf8("Pr\xE4sets");
#if defined(_WIN32)
    const std::string narrow = "Pr\xE4sets";
#else
    const std::string& narrow = name;
#endif
    const std::string utf8 = m_dir.File(name);
    const std::filesystem::path directory(std::u8string(utf8.begin(), utf8.end()));
    std::filesystem::create_directory(directory);
    brevane::settings::SetSettingsDirectoryForTesting(m_dir.File(narrow) + "/");
    const auto write = [&](const std::string& file, const char* text) {
        std::ofstream(directory / file, std::ios::binary) << text;
    };
    write(std::string(kFile) + ".unreadable", "older");
    write(kFile, "<Darvik><PtzChannel01>");

    CXMLPrepositionReader reader("Darvik");
    ASSERT_TRUE(reader.Initialize(kFile));
    std::ifstream aside(directory / (std::string(kFile) + ".unreadable"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(aside), {}), "<Darvik><PtzChannel01>");
    EXPECT_EQ(reader.LastSetAside().to, reader.LastSetAside().from + ".unreadable");
    EXPECT_FALSE(reader.LastSetAside().tooLarge);
    EXPECT_TRUE(FileHas("Darvik"));
    ASSERT_TRUE(reader.WritePreposition(0, 0, {"T\xFCr", 2}));
    PrepositionRecord record;
    CXMLPrepositionReader again("Darvik");
    ASSERT_TRUE(again.Initialize(kFile));
    ASSERT_TRUE(again.ReadPreposition(0, 0, record));
    EXPECT_EQ(record.name, "T\xFCr");
}

// A well-formed file larger than any set of presets is not loaded.
TEST_F(PresetFile, OversizedFileIsSetAsideUnread) {
    std::string big = "<Darvik><PtzChannel01><Preposition000><Name value=\"Door\"/></Preposition000>";
    big += "<!--" + std::string(CXMLPrepositionReader::kMaxFileSize, 'x') + "--></PtzChannel01></Darvik>";
    m_dir.Write(kFile, big);
    CXMLPrepositionReader reader("Darvik");
    ASSERT_TRUE(reader.Initialize(kFile));
    PrepositionRecord record;
    EXPECT_FALSE(reader.ReadPreposition(0, 0, record));
    EXPECT_TRUE(reader.LastSetAside().tooLarge);
    EXPECT_EQ(reader.LastSetAside().from, m_dir.File(kFile));
    EXPECT_EQ(m_dir.Read(std::string(kFile) + ".unreadable").size(), big.size());
}

TEST_F(PresetFile, InitializeFailsWhereNoFileCanBeWritten) {
    brevane::settings::SetSettingsDirectoryForTesting(m_dir.File("missing/"));
    CXMLPrepositionReader reader("Darvik");
    EXPECT_FALSE(reader.Initialize(kFile));
    EXPECT_FALSE(reader.GetAutoSave());
    PrepositionRecord record;
    EXPECT_FALSE(reader.WritePreposition(0, 0, {"Door", 1}));
    EXPECT_FALSE(reader.ReadPreposition(0, 0, record));
    EXPECT_FALSE(reader.SetAutoSave(false) && reader.SetAutoSave(true));
}

TEST_F(PresetFile, RecordsAreAddressedByChannelAndIndexWithMinimumWidths) {
    CXMLPrepositionReader reader("Darvik");
    ASSERT_TRUE(reader.Initialize(kFile));
    ASSERT_TRUE(reader.WritePreposition(0, 0, {"A", 1}));
    ASSERT_TRUE(reader.WritePreposition(9, 1000, {"B", 2}));
    EXPECT_TRUE(FileHas("Darvik/PtzChannel01/Preposition000/Name[@value=\"A\"]"));
    EXPECT_TRUE(FileHas("Darvik/PtzChannel01/Preposition000/Slot[@value=\"1\"]"));
    EXPECT_TRUE(FileHas("Darvik/PtzChannel10/Preposition1000/Slot[@value=\"2\"]"));

    EXPECT_TRUE(reader.ClearChannel(9));
    EXPECT_FALSE(FileHas("Darvik/PtzChannel10"));
    const std::string before = m_dir.Read(kFile);
    EXPECT_FALSE(reader.ClearChannel(9));
    EXPECT_EQ(m_dir.Read(kFile), before);
}

TEST_F(PresetFile, OnlyPlainSignedDecimalSlotsAreRead) {
    CXMLPrepositionReader reader("Darvik");
    ASSERT_TRUE(reader.Initialize(kFile));
    CXMLSettingsAPI raw;
    ASSERT_EQ(raw.Open(kFile), CXMLSettingsAPI::kOk);
    const struct {
        const char* text;
        bool present;
        std::int32_t slot;
    } cases[] = {{"12", true, 12},     {"+7", true, 7},     {"-3", true, -3},       {"", false, 0},
                 {"+", false, 0},      {"12a", false, 0},   {" 12", false, 0},      {"1 ", false, 0},
                 {"+-1", false, 0},    {"2147483647", true, 2147483647}, {"2147483648", false, 0},
                 {"99999999999999999999", false, 0}};
    for (std::uint32_t i = 0; i < std::size(cases); ++i) {
        ASSERT_TRUE(raw.SetString("Name", "Darvik/PtzChannel01/Preposition%.3u/Name", i));
        ASSERT_TRUE(raw.SetString(cases[i].text, "Darvik/PtzChannel01/Preposition%.3u/Slot", i));
    }
    ASSERT_TRUE(raw.Save());
    raw.Close();

    CXMLPrepositionReader fresh("Darvik");
    ASSERT_TRUE(fresh.Initialize(kFile));
    for (std::uint32_t i = 0; i < std::size(cases); ++i) {
        PrepositionRecord record{"", 99};
        EXPECT_EQ(fresh.ReadPreposition(0, i, record), cases[i].present) << "slot text " << cases[i].text;
        EXPECT_EQ(record.slot, cases[i].slot) << "slot text " << cases[i].text;
    }
    // No name, or an empty one: absent.
    PrepositionRecord record;
    EXPECT_FALSE(fresh.ReadPreposition(0, 500, record));
    ASSERT_TRUE(fresh.WritePreposition(0, 500, {"", 5}));
    EXPECT_FALSE(fresh.ReadPreposition(0, 500, record));
}

TEST_F(PresetFile, WithoutAutoSaveOnlyTheDocumentChangesUntilItIsSwitchedOn) {
    CXMLPrepositionReader reader("Darvik");
    ASSERT_TRUE(reader.Initialize(kFile));
    const std::string before = m_dir.Read(kFile);
    ASSERT_TRUE(reader.SetAutoSave(false));
    ASSERT_TRUE(reader.WritePreposition(0, 0, {"Door", 0}));
    EXPECT_EQ(m_dir.Read(kFile), before);
    ASSERT_TRUE(reader.SetAutoSave(true));
    EXPECT_TRUE(FileHas("Darvik/PtzChannel01/Preposition000/Name[@value=\"Door\"]"));
}

TEST_F(PresetFile, WrittenFileIsWellFormedForAnIndependentParser) {
    CXMLPrepositionReader reader("Darvik");
    ASSERT_TRUE(reader.Initialize(kFile));
    ASSERT_TRUE(reader.WritePreposition(0, 0, {"T\xFCr", 0}));
    ASSERT_TRUE(reader.WritePreposition(0, 1, {"a&b <c> \"d\" 'e' \xA9", 1}));
    ASSERT_TRUE(reader.WritePreposition(1, 0, {"Gate", 7}));
    EXPECT_NE(m_dir.Read(kFile).find("T\xFCr"), std::string::npos);
#if !defined(_WIN32)
    const std::string command = "xmllint --noout '" + m_dir.File(kFile) + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
#endif

    CXMLPrepositionReader reloaded("Darvik");
    ASSERT_TRUE(reloaded.Initialize(kFile));
    PrepositionRecord record;
    ASSERT_TRUE(reloaded.ReadPreposition(0, 1, record));
    EXPECT_EQ(record.name, "a&b <c> \"d\" 'e' \xA9");
    ASSERT_TRUE(reloaded.ReadPreposition(0, 0, record));
    EXPECT_EQ(record.name, "T\xFCr");
}

}  // namespace
