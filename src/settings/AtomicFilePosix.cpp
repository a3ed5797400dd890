#include "settings/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace brevane::settings {
namespace {

std::atomic<AtomicWriteHook> g_hook{nullptr};
std::atomic<unsigned> g_sequence{0};

void SetError(std::string* error, const std::string& what, int code) {
    if (error != nullptr) {
        *error = what + ": " + std::strerror(code);
    }
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Makes the rename itself durable. Failure here is not reported: the new
// contents are already in place and complete.
void SyncDirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error) {
    if (path.empty()) {
        SetError(error, "empty file name", EINVAL);
        return false;
    }
    // A name unique to this process and call; O_EXCL refuses a leftover.
    const std::string temporary = path + ".tmp" + std::to_string(::getpid()) + "_" +
                                  std::to_string(g_sequence.fetch_add(1));
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        SetError(error, "cannot create " + temporary, errno);
        return false;
    }
    // Keep the permissions of the file being replaced.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) {
        ::fchmod(fd, old.st_mode & 07777);
    }
    if (!WriteAll(fd, data)) {
        SetError(error, "cannot write " + temporary, errno);
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::fsync(fd) != 0) {
        SetError(error, "cannot flush " + temporary, errno);
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::close(fd) != 0) {
        SetError(error, "cannot close " + temporary, errno);
        ::unlink(temporary.c_str());
        return false;
    }
    if (const AtomicWriteHook hook = g_hook.load(); hook != nullptr) {
        hook(temporary);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        SetError(error, "cannot rename " + temporary + " to " + path, errno);
        ::unlink(temporary.c_str());
        return false;
    }
    SyncDirectoryOf(path);
    return true;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void SetAtomicWriteHookForTesting(AtomicWriteHook hook) { g_hook.store(hook); }

}  // namespace brevane::settings
