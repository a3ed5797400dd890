// Reading the product version of PE module files: valid PE32 and PE32+
// images, and the many ways a file can be truncated or malformed.
#include "platform/PeVersion.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/PeFixture.h"
#include "support/TempDir.h"

using brevane::platform::ProductVersion;
using brevane::platform::ReadProductVersion;
using brevane::platform::ReadProductVersionFromFile;
using brevane::platform::ReadProductVersionFromImage;
using brevane::test::BuildPeFixture;
using brevane::test::PeFixture;
using brevane::test::PeFixtureOptions;

namespace {

ProductVersion Version(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
    return ProductVersion{a, b, c, d};
}

TEST(PeVersionTest, ReadsProductVersionNotFileVersionFromPe32AndPe32Plus) {
    for (const bool plus : {false, true}) {
        PeFixtureOptions options;
        options.pe32Plus = plus;
        options.productVersion[0] = 6;
        options.productVersion[1] = 2;
        options.productVersion[2] = 0xBEEF;
        options.productVersion[3] = 0xFFFF;
        const PeFixture pe = BuildPeFixture(options);
        const auto version = ReadProductVersionFromImage(pe.bytes);
        ASSERT_TRUE(version.has_value()) << "pe32Plus=" << plus;
        EXPECT_EQ(*version, Version(6, 2, 0xBEEF, 0xFFFF)) << "pe32Plus=" << plus;
    }
}

TEST(PeVersionTest, ImageWithoutResourcesCannotBeRead) {
    PeFixtureOptions options;
    options.withResources = false;
    EXPECT_FALSE(ReadProductVersionFromImage(BuildPeFixture(options).bytes));
}

TEST(PeVersionTest, EveryTruncationCannotBeRead) {
    // Cutting the file anywhere before the end of the fixed version record
    // loses something the reader needs; none of these may read past the end.
    const PeFixture pe = BuildPeFixture();
    const std::size_t needed = pe.fixedInfoOffset + 24;
    for (std::size_t size = 0; size < needed; ++size) {
        const std::vector<std::uint8_t> cut(pe.bytes.begin(),
                                            pe.bytes.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_FALSE(ReadProductVersionFromImage(cut)) << "size " << size;
    }
}

TEST(PeVersionTest, WrongMagicsAndSignaturesCannotBeRead) {
    struct Corruption {
        const char* what;
        void (*apply)(PeFixture&);
    };
    const Corruption corruptions[] = {
        {"DOS magic", [](PeFixture& pe) { pe.PutU16(0, 0x4D5A); }},
        {"PE signature", [](PeFixture& pe) { pe.PutU32(pe.peOffset, 0x00014550); }},
        {"optional header magic", [](PeFixture& pe) { pe.PutU16(pe.optionalOffset, 0x107); }},
        {"fixed info signature", [](PeFixture& pe) { pe.PutU32(pe.fixedInfoOffset, 0xFEEF04BC); }},
        {"version key", [](PeFixture& pe) { pe.PutU16(pe.versionInfoOffset + 6, u'X'); }},
        {"value length below fixed info", [](PeFixture& pe) { pe.PutU16(pe.versionInfoOffset + 2, 51); }},
        {"e_lfanew beyond file", [](PeFixture& pe) { pe.PutU32(0x3C, 0xFFFFFFF0u); }},
        {"too few data directories", [](PeFixture& pe) { pe.PutU32(pe.resourceDirEntry - 20, 2); }},
    };
    for (const Corruption& corruption : corruptions) {
        PeFixture pe = BuildPeFixture();
        corruption.apply(pe);
        EXPECT_FALSE(ReadProductVersionFromImage(pe.bytes)) << corruption.what;
    }
}

TEST(PeVersionTest, OffsetsAndSizesOutOfRangeCannotBeRead) {
    struct Corruption {
        const char* what;
        void (*apply)(PeFixture&);
    };
    const Corruption corruptions[] = {
        {"section count beyond file", [](PeFixture& pe) { pe.PutU16(pe.peOffset + 6, 0xFFFF); }},
        {"optional header size beyond file", [](PeFixture& pe) { pe.PutU16(pe.peOffset + 20, 0xFFFF); }},
        {"resource RVA in no section", [](PeFixture& pe) { pe.PutU32(pe.resourceDirEntry, 0x9000); }},
        {"resource size beyond section", [](PeFixture& pe) { pe.PutU32(pe.resourceDirEntry + 4, 0x10000); }},
        {"section raw data beyond file", [](PeFixture& pe) { pe.PutU32(pe.sectionOffset + 20, 0xFFFFFF00u); }},
        {"section raw size shorter than resources", [](PeFixture& pe) { pe.PutU32(pe.sectionOffset + 16, 0x10); }},
        {"root entry count beyond data", [](PeFixture& pe) { pe.PutU16(pe.resourceOffset + 14, 0xFFFF); }},
        {"subdirectory offset beyond data",
         [](PeFixture& pe) { pe.PutU32(pe.resourceOffset + 20, 0x8FFFFFF0u); }},
        {"type entry is a leaf", [](PeFixture& pe) { pe.PutU32(pe.resourceOffset + 20, 0x18); }},
        {"language entry is a directory",
         [](PeFixture& pe) { pe.PutU32(pe.resourceOffset + 0x30 + 20, 0x80000000u); }},
        {"data RVA beyond section", [](PeFixture& pe) { pe.PutU32(pe.dataEntryOffset, 0x1FFFFFFFu); }},
        {"data size beyond section", [](PeFixture& pe) { pe.PutU32(pe.dataEntryOffset + 4, 0xFFFFFFFFu); }},
        {"data size zero", [](PeFixture& pe) { pe.PutU32(pe.dataEntryOffset + 4, 0); }},
        {"block length beyond data", [](PeFixture& pe) { pe.PutU16(pe.versionInfoOffset, 0xFFFF); }},
        {"block length cuts fixed info", [](PeFixture& pe) { pe.PutU16(pe.versionInfoOffset, 60); }},
    };
    for (const Corruption& corruption : corruptions) {
        PeFixture pe = BuildPeFixture();
        corruption.apply(pe);
        EXPECT_FALSE(ReadProductVersionFromImage(pe.bytes)) << corruption.what;
    }
}

TEST(PeVersionTest, NoVersionTypeAmongResourcesCannotBeRead) {
    PeFixture pe = BuildPeFixture();
    pe.PutU32(pe.resourceOffset + 16, 3);  // RT_ICON instead of RT_VERSION
    EXPECT_FALSE(ReadProductVersionFromImage(pe.bytes));
    // A named entry whose name offset happens to be 16 is not the type 16.
    pe.PutU32(pe.resourceOffset + 16, 0x80000010u);
    EXPECT_FALSE(ReadProductVersionFromImage(pe.bytes));
}

TEST(PeVersionTest, SearchUsesFirstExistingFileOnly) {
    brevane::test::TempDir dir;
    ASSERT_FALSE(dir.Path().empty());
    PeFixtureOptions options;
    options.productVersion[0] = 7;
    options.productVersion[1] = 1;
    ASSERT_TRUE(brevane::test::WriteFile(dir.File("good.dll"), BuildPeFixture(options).bytes));
    ASSERT_TRUE(brevane::test::WriteFile(dir.File("bad.dll"), {'M', 'Z'}));
    std::filesystem::create_directory(dir.File("folder.dll"));

    // Missing files and directories are skipped.
    EXPECT_EQ(ReadProductVersion({dir.File("missing.dll"), dir.File("folder.dll"), dir.File("good.dll")}),
              Version(7, 1, 0, 0));
    // A file that exists but is malformed ends the search.
    EXPECT_FALSE(ReadProductVersion({dir.File("bad.dll"), dir.File("good.dll")}));
    EXPECT_FALSE(ReadProductVersion({}));
    EXPECT_FALSE(ReadProductVersionFromFile(dir.File("folder.dll")));
    EXPECT_FALSE(ReadProductVersionFromFile(dir.File("missing.dll")));
}

}  // namespace
