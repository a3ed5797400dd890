// Builds small Windows PE module images in memory for the version reader's
// tests: a DOS header, PE headers, one ".rsrc" section holding a resource
// tree with one RT_VERSION entry, and the VS_VERSIONINFO block.
//
// The offsets of the interesting fields are returned with the bytes so tests
// can corrupt exactly one thing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brevane::test {

struct PeFixtureOptions {
    bool pe32Plus = false;
    bool withResources = true;
    std::uint16_t productVersion[4] = {6, 3, 0, 0};
    // Differs from the product version, so a reader that takes the wrong
    // field is caught.
    std::uint16_t fileVersion[4] = {9, 8, 7, 6};
};

struct PeFixture {
    std::vector<std::uint8_t> bytes;
    std::size_t peOffset = 0;          // "PE\0\0"
    std::size_t optionalOffset = 0;    // optional header (magic)
    std::size_t resourceDirEntry = 0;  // data directory 2 (RVA, size)
    std::size_t sectionOffset = 0;     // first section header
    std::size_t resourceOffset = 0;    // resource root (file offset)
    std::size_t dataEntryOffset = 0;   // resource data entry (file offset)
    std::size_t versionInfoOffset = 0; // VS_VERSIONINFO (file offset)
    std::size_t fixedInfoOffset = 0;   // VS_FIXEDFILEINFO (file offset)

    void PutU16(std::size_t offset, std::uint16_t value);
    void PutU32(std::size_t offset, std::uint32_t value);
};

PeFixture BuildPeFixture(const PeFixtureOptions& options = {});

// Writes bytes to path; true on success.
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace brevane::test
