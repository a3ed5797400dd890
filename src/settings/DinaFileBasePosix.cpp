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
    const int fd = ::open(fileName, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    m_hFile = fd;
    struct stat info {};
    // A directory opens for reading too, but is no settings file.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        Close();
    }
    return IsOpen();
}

void CDinaFileBase::Close() {
    if (IsOpen()) {
        ::close(static_cast<int>(m_hFile));
        m_hFile = kClosed;
    }
}

std::uint64_t CDinaFileBase::GetSize() const {
    if (!IsOpen()) {
        return 0;
    }
    struct stat info {};
    if (::fstat(static_cast<int>(m_hFile), &info) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.st_size);
}
