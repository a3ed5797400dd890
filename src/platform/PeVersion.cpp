#include "platform/PeVersion.h"

#include <filesystem>
#include <fstream>
#include <string_view>


namespace brevane::platform {
namespace {

// Header and record layouts (offsets in bytes).
constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kDosLfanewOffset = 0x3C;
constexpr std::uint16_t kDosMagic = 0x5A4D;  // "MZ"
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::size_t kCoffSectionCountOffset = 2;
constexpr std::size_t kCoffOptionalSizeOffset = 16;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
// Offset of NumberOfRvaAndSizes; the data directories follow it.
constexpr std::size_t kPe32DirectoryCountOffset = 92;
constexpr std::size_t kPe32PlusDirectoryCountOffset = 108;
constexpr std::size_t kDataDirectorySize = 8;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kResourceDirectoryHeaderSize = 16;
constexpr std::size_t kResourceEntrySize = 8;
constexpr std::size_t kResourceDataEntrySize = 16;
constexpr std::uint32_t kResourceSubdirectoryBit = 0x80000000u;
constexpr std::uint32_t kResourceNameIsStringBit = 0x80000000u;
constexpr std::uint32_t kResourceTypeVersion = 16;  // RT_VERSION
constexpr std::size_t kFixedFileInfoSize = 52;
constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BDu;
constexpr std::size_t kFixedProductVersionMsOffset = 16;
constexpr std::size_t kFixedProductVersionLsOffset = 20;
// A version block's header: wLength, wValueLength, wType.
constexpr std::size_t kVersionBlockHeaderSize = 6;
constexpr std::u16string_view kVersionInfoKey = u"VS_VERSION_INFO";

// A window on the image that refuses every read beyond its end.
class Bytes {
   public:
    explicit Bytes(std::span<const std::uint8_t> data) : m_data(data) {}

    std::size_t Size() const { return m_data.size(); }

    // True when [offset, offset + length) lies inside the data. Written so
    // that no sum can overflow.
    bool Contains(std::size_t offset, std::size_t length) const {
        return offset <= m_data.size() && length <= m_data.size() - offset;
    }

    bool U16(std::size_t offset, std::uint16_t& value) const {
        if (!Contains(offset, 2)) {
            return false;
        }
        value = static_cast<std::uint16_t>(m_data[offset] | (m_data[offset + 1] << 8));
        return true;
    }

    bool U32(std::size_t offset, std::uint32_t& value) const {
        if (!Contains(offset, 4)) {
            return false;
        }
        value = static_cast<std::uint32_t>(m_data[offset]) |
                (static_cast<std::uint32_t>(m_data[offset + 1]) << 8) |
                (static_cast<std::uint32_t>(m_data[offset + 2]) << 16) |
                (static_cast<std::uint32_t>(m_data[offset + 3]) << 24);
        return true;
    }

    Bytes Sub(std::size_t offset, std::size_t length) const {
        return Bytes(m_data.subspan(offset, length));
    }

   private:
    std::span<const std::uint8_t> m_data;
};

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
};

// Maps an address range of the loaded image to file offsets. A range must lie
// wholly inside the file-backed part of one section.
class AddressMap {
   public:
    AddressMap(const Bytes& image, std::vector<Section> sections)
        : m_image(image), m_sections(std::move(sections)) {}

    std::optional<std::size_t> ToFileOffset(std::uint32_t rva, std::size_t length) const {
        for (const Section& section : m_sections) {
            if (rva < section.virtualAddress) {
                continue;
            }
            const std::size_t inSection = std::size_t{rva} - section.virtualAddress;
            const std::size_t extent = section.virtualSize != 0 ? section.virtualSize : section.rawSize;
            if (inSection >= extent) {
                continue;
            }
            if (inSection > section.rawSize || length > section.rawSize - inSection) {
                return std::nullopt;  // not backed by file data
            }
            const std::size_t offset = std::size_t{section.rawOffset} + inSection;
            if (!m_image.Contains(offset, length)) {
                return std::nullopt;
            }
            return offset;
        }
        return std::nullopt;
    }

   private:
    const Bytes& m_image;
    std::vector<Section> m_sections;
};

struct ResourceEntry {
    std::uint32_t name = 0;
    std::uint32_t target = 0;
};

// Reads the entries of the resource directory at dirOffset within the
// resource section window `resources`.
bool ReadDirectoryEntries(const Bytes& resources, std::size_t dirOffset,
                          std::vector<ResourceEntry>& entries) {
    std::uint16_t namedCount = 0;
    std::uint16_t idCount = 0;
    if (!resources.Contains(dirOffset, kResourceDirectoryHeaderSize) ||
        !resources.U16(dirOffset + 12, namedCount) || !resources.U16(dirOffset + 14, idCount)) {
        return false;
    }
    const std::size_t count = std::size_t{namedCount} + idCount;
    const std::size_t first = dirOffset + kResourceDirectoryHeaderSize;
    if (!resources.Contains(first, count * kResourceEntrySize)) {
        return false;
    }
    entries.clear();
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        ResourceEntry entry;
        resources.U32(first + i * kResourceEntrySize, entry.name);
        resources.U32(first + i * kResourceEntrySize + 4, entry.target);
        entries.push_back(entry);
    }
    return true;
}

// Follows one level down: the entry must lead to a subdirectory.
std::optional<std::size_t> Subdirectory(const ResourceEntry& entry) {
    if ((entry.target & kResourceSubdirectoryBit) == 0) {
        return std::nullopt;
    }
    return std::size_t{entry.target & ~kResourceSubdirectoryBit};
}

// Finds the version resource data: type RT_VERSION, its first name, the
// first language of that name, then the data entry. The tree is walked to a
// fixed depth of three, so a directory that points back at itself cannot
// make the walk go on.
std::optional<std::span<const std::uint8_t>> FindVersionResource(
    std::span<const std::uint8_t> image, const AddressMap& map, std::uint32_t resourceRva,
    std::uint32_t resourceSize) {
    const Bytes bytes(image);
    // The resource tree is addressed relative to its root; everything it
    // refers to must lie inside the resource data directory's extent.
    const auto rootOffset = map.ToFileOffset(resourceRva, resourceSize);
    if (!rootOffset) {
        return std::nullopt;
    }
    const Bytes resources = bytes.Sub(*rootOffset, resourceSize);

    std::vector<ResourceEntry> entries;
    if (!ReadDirectoryEntries(resources, 0, entries)) {
        return std::nullopt;
    }
    std::optional<std::size_t> nameDir;
    for (const ResourceEntry& entry : entries) {
        if ((entry.name & kResourceNameIsStringBit) == 0 && entry.name == kResourceTypeVersion) {
            nameDir = Subdirectory(entry);
            break;
        }
    }
    if (!nameDir || !ReadDirectoryEntries(resources, *nameDir, entries) || entries.empty()) {
        return std::nullopt;
    }
    const auto languageDir = Subdirectory(entries.front());
    if (!languageDir || !ReadDirectoryEntries(resources, *languageDir, entries) || entries.empty()) {
        return std::nullopt;
    }
    const ResourceEntry leaf = entries.front();
    if ((leaf.target & kResourceSubdirectoryBit) != 0 ||
        !resources.Contains(leaf.target, kResourceDataEntrySize)) {
        return std::nullopt;
    }
    std::uint32_t dataRva = 0;
    std::uint32_t dataSize = 0;
    resources.U32(leaf.target, dataRva);
    resources.U32(leaf.target + 4, dataSize);
    if (dataSize == 0) {
        return std::nullopt;
    }
    const auto dataOffset = map.ToFileOffset(dataRva, dataSize);
    if (!dataOffset) {
        return std::nullopt;
    }
    return image.subspan(*dataOffset, dataSize);
}

std::size_t AlignTo4(std::size_t value) { return (value + 3u) & ~std::size_t{3}; }

// Reads the fixed version record from the root block of a VS_VERSIONINFO.
std::optional<ProductVersion> ParseVersionInfo(std::span<const std::uint8_t> data) {
    const Bytes block(data);
    std::uint16_t length = 0;
    std::uint16_t valueLength = 0;
    if (!block.U16(0, length) || !block.U16(2, valueLength)) {
        return std::nullopt;
    }
    // The block may not claim more than the resource holds.
    if (length > block.Size() || length < kVersionBlockHeaderSize) {
        return std::nullopt;
    }
    const Bytes root = block.Sub(0, length);
    std::size_t offset = kVersionBlockHeaderSize;
    for (const char16_t expected : kVersionInfoKey) {
        std::uint16_t unit = 0;
        if (!root.U16(offset, unit) || unit != expected) {
            return std::nullopt;
        }
        offset += 2;
    }
    std::uint16_t terminator = 0xFFFF;
    if (!root.U16(offset, terminator) || terminator != 0) {
        return std::nullopt;
    }
    offset = AlignTo4(offset + 2);
    if (valueLength < kFixedFileInfoSize || !root.Contains(offset, kFixedFileInfoSize)) {
        return std::nullopt;
    }
    std::uint32_t signature = 0;
    std::uint32_t productMs = 0;
    std::uint32_t productLs = 0;
    root.U32(offset, signature);
    root.U32(offset + kFixedProductVersionMsOffset, productMs);
    root.U32(offset + kFixedProductVersionLsOffset, productLs);
    if (signature != kFixedFileInfoSignature) {
        return std::nullopt;
    }
    ProductVersion version;
    version.major = static_cast<std::uint16_t>(productMs >> 16);
    version.minor = static_cast<std::uint16_t>(productMs & 0xFFFFu);
    version.build = static_cast<std::uint16_t>(productLs >> 16);
    version.revision = static_cast<std::uint16_t>(productLs & 0xFFFFu);
    return version;
}

// Where the optional header and the section table lie, from the DOS, PE
// and COFF headers.
struct ImageHeaders {
    std::size_t optional = 0;
    std::uint16_t optionalSize = 0;
    std::uint16_t sectionCount = 0;
};

std::optional<ImageHeaders> ReadImageHeaders(const Bytes& bytes) {
    std::uint16_t dosMagic = 0;
    std::uint32_t peOffset = 0;
    if (!bytes.Contains(0, kDosHeaderSize) || !bytes.U16(0, dosMagic) || dosMagic != kDosMagic ||
        !bytes.U32(kDosLfanewOffset, peOffset)) {
        return std::nullopt;
    }
    std::uint32_t signature = 0;
    if (!bytes.U32(peOffset, signature) || signature != kPeSignature) {
        return std::nullopt;
    }
    const std::size_t coff = std::size_t{peOffset} + 4;
    ImageHeaders headers;
    if (!bytes.Contains(coff, kCoffHeaderSize) ||
        !bytes.U16(coff + kCoffSectionCountOffset, headers.sectionCount) ||
        !bytes.U16(coff + kCoffOptionalSizeOffset, headers.optionalSize)) {
        return std::nullopt;
    }
    headers.optional = coff + kCoffHeaderSize;
    if (!bytes.Contains(headers.optional, headers.optionalSize)) {
        return std::nullopt;
    }
    return headers;
}

// The resource directory's address and size from the optional header (PE32
// or PE32+), which may be read only as far as its declared size.
struct ResourceDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

std::optional<ResourceDirectory> ReadResourceDirectory(const Bytes& optionalHeader) {
    std::uint16_t magic = 0;
    if (!optionalHeader.U16(0, magic)) {
        return std::nullopt;
    }
    std::size_t directoryCountOffset = 0;
    if (magic == kPe32Magic) {
        directoryCountOffset = kPe32DirectoryCountOffset;
    } else if (magic == kPe32PlusMagic) {
        directoryCountOffset = kPe32PlusDirectoryCountOffset;
    } else {
        return std::nullopt;
    }
    std::uint32_t directoryCount = 0;
    if (!optionalHeader.U32(directoryCountOffset, directoryCount) ||
        directoryCount <= kResourceDirectoryIndex) {
        return std::nullopt;
    }
    const std::size_t entry = directoryCountOffset + 4 + kResourceDirectoryIndex * kDataDirectorySize;
    ResourceDirectory directory;
    if (!optionalHeader.U32(entry, directory.rva) || !optionalHeader.U32(entry + 4, directory.size) ||
        directory.rva == 0 || directory.size == 0) {
        return std::nullopt;
    }
    return directory;
}

std::optional<std::vector<Section>> ReadSections(const Bytes& bytes, std::size_t sectionTable,
                                                 std::uint16_t sectionCount) {
    if (!bytes.Contains(sectionTable, std::size_t{sectionCount} * kSectionHeaderSize)) {
        return std::nullopt;
    }
    std::vector<Section> sections;
    sections.reserve(sectionCount);
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::size_t header = sectionTable + i * kSectionHeaderSize;
        Section section;
        bytes.U32(header + 8, section.virtualSize);
        bytes.U32(header + 12, section.virtualAddress);
        bytes.U32(header + 16, section.rawSize);
        bytes.U32(header + 20, section.rawOffset);
        sections.push_back(section);
    }
    return sections;
}

bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::optional<ProductVersion> ReadProductVersionFromImage(std::span<const std::uint8_t> image) {
    const Bytes bytes(image);
    const auto headers = ReadImageHeaders(bytes);
    if (!headers) {
        return std::nullopt;
    }
    const auto directory = ReadResourceDirectory(bytes.Sub(headers->optional, headers->optionalSize));
    if (!directory) {
        return std::nullopt;
    }
    auto sections = ReadSections(bytes, headers->optional + headers->optionalSize, headers->sectionCount);
    if (!sections) {
        return std::nullopt;
    }
    const AddressMap map(bytes, std::move(*sections));
    const auto resource = FindVersionResource(image, map, directory->rva, directory->size);
    if (!resource) {
        return std::nullopt;
    }
    return ParseVersionInfo(*resource);
}

std::optional<ProductVersion> ReadProductVersionFromFile(const std::string& path) {
    if (!IsRegularFile(path)) {
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        return std::nullopt;
    }
    const std::streamoff size = file.tellg();
    if (size <= 0 || static_cast<std::uint64_t>(size) > kMaxPeFileSize) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> image;
    try {
        image.resize(static_cast<std::size_t>(size));
    } catch (...) {
        return std::nullopt;
    }
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(image.data()), size)) {
        return std::nullopt;
    }
    return ReadProductVersionFromImage(image);
}

std::optional<ProductVersion> ReadProductVersion(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (!path.empty() && IsRegularFile(path)) {
            return ReadProductVersionFromFile(path);
        }
    }
    return std::nullopt;
}

}  // namespace brevane::platform
