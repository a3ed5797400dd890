// Reads the product version from the version resource of a Windows PE module
// file (PE32 or PE32+), without any Windows service: the DOS and PE headers,
// the section table, the resource directory and the VS_VERSIONINFO block are
// parsed here. The Linux build learns the host recorder's version this way
// (see HostVersion.h).
//
// Every check is a bounds check against the bytes at hand: a truncated or
// malformed file yields "cannot be read" (an empty optional), never a read
// outside the data. Stateless; callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace brevane::platform {

struct ProductVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t build = 0;
    std::uint16_t revision = 0;

    friend bool operator==(const ProductVersion&, const ProductVersion&) = default;
};

// Files larger than this are not read (a version resource lives in a module,
// and modules of that size are not what we look for).
inline constexpr std::size_t kMaxPeFileSize = 64u * 1024u * 1024u;

// Product version of a PE image held in memory.
std::optional<ProductVersion> ReadProductVersionFromImage(std::span<const std::uint8_t> image);

// Product version of the PE file at path; empty when the file is missing,
// unreadable, larger than kMaxPeFileSize or malformed.
std::optional<ProductVersion> ReadProductVersionFromFile(const std::string& path);

// Looks for the first of paths that names an existing regular file and reads
// its product version. Like a module search, later paths are not tried once a
// file was found, even when that file cannot be read.
std::optional<ProductVersion> ReadProductVersion(const std::vector<std::string>& paths);

}  // namespace brevane::platform
