// The host module's version on Windows: the version API reads the resource
// (GetFileVersionInfoSizeW, GetFileVersionInfoW, VerQueryValueW on the root
// block), and the product version comes from the fixed record.
#include "platform/HostVersion.h"

#include <windows.h>

#include <vector>

#include "platform/Platform.h"

namespace brevane::platform {

namespace {

std::optional<ProductVersion> ReadWithVersionApi(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        return std::nullopt;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
        fixed == nullptr || fixedSize < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    ProductVersion version;
    version.major = HIWORD(fixed->dwProductVersionMS);
    version.minor = LOWORD(fixed->dwProductVersionMS);
    version.build = HIWORD(fixed->dwProductVersionLS);
    version.revision = LOWORD(fixed->dwProductVersionLS);
    return version;
}

bool IsFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

std::optional<ProductVersion> ReadHostModuleVersion() {
    try {
        const std::wstring name = ToWide(kHostModuleFileName);
        const std::wstring candidates[] = {ExecutableDirectoryW() + name, name};
        for (const std::wstring& path : candidates) {
            if (IsFile(path)) {
                return ReadWithVersionApi(path);
            }
        }
    } catch (...) {
    }
    return std::nullopt;
}

}  // namespace brevane::platform
