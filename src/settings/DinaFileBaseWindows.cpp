#include "settings/DinaFileBase.h"

#include <windows.h>

#include "settings/WideText.h"

namespace {

HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

CDinaFileBase::~CDinaFileBase() { Close(); }

bool CDinaFileBase::Open(const char* fileName) {
    if (fileName == nullptr || *fileName == '\0') {
        return false;
    }
    Close();
    m_fileName = fileName;
    m_opened = 1;
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open: it is no
    // settings file.
    const HANDLE file = ::CreateFileW(brevane::settings::PathToWide(fileName).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    m_hFile = reinterpret_cast<std::intptr_t>(file);
    return true;
}

void CDinaFileBase::Close() {
    if (IsOpen()) {
        ::CloseHandle(AsHandle(m_hFile));
        m_hFile = kClosed;
    }
}

std::uint64_t CDinaFileBase::GetSize() const {
    LARGE_INTEGER size{};
    if (!IsOpen() || !::GetFileSizeEx(AsHandle(m_hFile), &size)) {
        return 0;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}
