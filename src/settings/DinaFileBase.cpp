#include "settings/DinaFileBase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CDinaFileBase::~CDinaFileBase() { Close(); }

bool CDinaFileBase::Open(const char* fileName) {
    if (fileName == nullptr || *fileName == '\0') {
        return false;
    }
    Close();
    m_fileName = fileName;
    m_opened = 1;
    m_hFile = ::open(fileName, O_RDONLY | O_CLOEXEC);
    if (m_hFile >= 0) {
        struct stat info {};
        // A directory opens for reading too, but is no settings file.
        if (::fstat(m_hFile, &info) != 0 || !S_ISREG(info.st_mode)) {
            Close();
        }
    }
    return m_hFile >= 0;
}

void CDinaFileBase::Close() {
    if (m_hFile >= 0) {
        ::close(m_hFile);
        m_hFile = -1;
    }
}

std::uint64_t CDinaFileBase::GetSize() const {
    if (m_hFile < 0) {
        return 0;
    }
    struct stat info {};
    if (::fstat(m_hFile, &info) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.st_size);
}
