#include "support/PeFixture.h"

#include <fstream>

namespace brevane::test {
namespace {

constexpr std::size_t kPeOffset = 0x80;
constexpr std::size_t kFileAlignment = 0x200;
constexpr std::uint32_t kResourceRva = 0x1000;

}  // namespace

void PeFixture::PutU16(std::size_t offset, std::uint16_t value) {
    bytes.at(offset) = static_cast<std::uint8_t>(value);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}

void PeFixture::PutU32(std::size_t offset, std::uint32_t value) {
    PutU16(offset, static_cast<std::uint16_t>(value));
    PutU16(offset + 2, static_cast<std::uint16_t>(value >> 16));
}

PeFixture BuildPeFixture(const PeFixtureOptions& options) {
    PeFixture pe;
    const std::size_t optionalSize = options.pe32Plus ? 240 : 224;
    pe.peOffset = kPeOffset;
    pe.optionalOffset = kPeOffset + 4 + 20;
    pe.sectionOffset = pe.optionalOffset + optionalSize;
    pe.resourceOffset = kFileAlignment;

    // Resource tree: root -> type 16 -> name 1 -> language 0x409 -> data.
    const std::size_t nameDir = 0x18;
    const std::size_t languageDir = 0x30;
    const std::size_t dataEntry = 0x48;
    const std::size_t versionInfo = 0x58;
    const std::size_t versionInfoSize = 92;  // header, key, padding, fixed info
    const std::size_t resourceSize = versionInfo + versionInfoSize;
    const std::size_t rawSize = kFileAlignment;  // one aligned block

    pe.bytes.assign(kFileAlignment + rawSize, 0);
    pe.PutU16(0, 0x5A4D);
    pe.PutU32(0x3C, static_cast<std::uint32_t>(kPeOffset));
    pe.PutU32(kPeOffset, 0x00004550);

    const std::size_t coff = kPeOffset + 4;
    pe.PutU16(coff, options.pe32Plus ? 0x8664 : 0x14C);
    pe.PutU16(coff + 2, 1);  // sections
    pe.PutU16(coff + 16, static_cast<std::uint16_t>(optionalSize));
    pe.PutU16(coff + 18, 0x2102);  // DLL, executable

    pe.PutU16(pe.optionalOffset, options.pe32Plus ? 0x20B : 0x10B);
    const std::size_t countOffset = pe.optionalOffset + (options.pe32Plus ? 108 : 92);
    pe.PutU32(countOffset, 16);
    pe.resourceDirEntry = countOffset + 4 + 2 * 8;
    if (options.withResources) {
        pe.PutU32(pe.resourceDirEntry, kResourceRva);
        pe.PutU32(pe.resourceDirEntry + 4, static_cast<std::uint32_t>(resourceSize));
    }

    const std::size_t section = pe.sectionOffset;
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    for (std::size_t i = 0; i < 8; ++i) {
        pe.bytes[section + i] = static_cast<std::uint8_t>(name[i]);
    }
    pe.PutU32(section + 8, static_cast<std::uint32_t>(resourceSize));
    pe.PutU32(section + 12, kResourceRva);
    pe.PutU32(section + 16, static_cast<std::uint32_t>(rawSize));
    pe.PutU32(section + 20, static_cast<std::uint32_t>(kFileAlignment));

    const std::size_t r = pe.resourceOffset;
    // Root directory: one ID entry, type 16.
    pe.PutU16(r + 14, 1);
    pe.PutU32(r + 16, 16);
    pe.PutU32(r + 20, 0x80000000u | static_cast<std::uint32_t>(nameDir));
    // Name directory: one ID entry, name 1.
    pe.PutU16(r + nameDir + 14, 1);
    pe.PutU32(r + nameDir + 16, 1);
    pe.PutU32(r + nameDir + 20, 0x80000000u | static_cast<std::uint32_t>(languageDir));
    // Language directory: one ID entry, 0x409, pointing at a data entry.
    pe.PutU16(r + languageDir + 14, 1);
    pe.PutU32(r + languageDir + 16, 0x409);
    pe.PutU32(r + languageDir + 20, static_cast<std::uint32_t>(dataEntry));
    // Data entry: RVA and size of the version block.
    pe.dataEntryOffset = r + dataEntry;
    pe.PutU32(pe.dataEntryOffset, kResourceRva + static_cast<std::uint32_t>(versionInfo));
    pe.PutU32(pe.dataEntryOffset + 4, static_cast<std::uint32_t>(versionInfoSize));

    // VS_VERSIONINFO: wLength, wValueLength, wType, key, padding, fixed info.
    pe.versionInfoOffset = r + versionInfo;
    const std::size_t v = pe.versionInfoOffset;
    pe.PutU16(v, static_cast<std::uint16_t>(versionInfoSize));
    pe.PutU16(v + 2, 52);
    pe.PutU16(v + 4, 0);
    const std::u16string key = u"VS_VERSION_INFO";
    for (std::size_t i = 0; i < key.size(); ++i) {
        pe.PutU16(v + 6 + 2 * i, static_cast<std::uint16_t>(key[i]));
    }
    pe.fixedInfoOffset = v + 40;
    const std::size_t f = pe.fixedInfoOffset;
    const auto& fv = options.fileVersion;
    const auto& pv = options.productVersion;
    pe.PutU32(f, 0xFEEF04BDu);
    pe.PutU32(f + 4, 0x00010000u);
    pe.PutU32(f + 8, (std::uint32_t{fv[0]} << 16) | fv[1]);
    pe.PutU32(f + 12, (std::uint32_t{fv[2]} << 16) | fv[3]);
    pe.PutU32(f + 16, (std::uint32_t{pv[0]} << 16) | pv[1]);
    pe.PutU32(f + 20, (std::uint32_t{pv[2]} << 16) | pv[3]);
    return pe;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace brevane::test
