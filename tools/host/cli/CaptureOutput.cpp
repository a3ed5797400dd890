#include "cli/CaptureOutput.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "kit/HostSystem.h"

namespace darvik::cli {
namespace {

// Standard output's buffer: pictures are written in few large writes, which
// into a pipe wake its reader less often than a write per picture (that cost
// more than the copy into the buffer saves). It is never freed, as stdio may
// still flush through it when the process exits.
constexpr std::size_t kStandardOutputBuffer = 1 << 20;

}  // namespace

CaptureOutput::~CaptureOutput() { Close(); }

std::string CaptureOutput::Name() const {
    return m_path == kStandardOutput ? std::string("standard output") : "\"" + m_path + "\"";
}

bool CaptureOutput::Open(OutputKind kind, const std::string& path, std::string& error) {
    m_kind = kind;
    m_path = path;
    std::error_code code;
    if (kind == OutputKind::JpegFolder) {
        std::filesystem::create_directories(path, code);
        if (code) {
            error = "cannot create folder \"" + path + "\": " + code.message();
            return false;
        }
        return true;
    }
    if (path == kStandardOutput) {
        if (kind == OutputKind::JpegFolder) {
            error = "standard output takes one stream, not a folder of pictures";
            return false;
        }
        host::SetStandardOutputBinary();
        host::WidenStandardOutputPipe();
        std::setvbuf(stdout, new char[kStandardOutputBuffer], _IOFBF, kStandardOutputBuffer);
        brevane::MutexLock guard(m_mutex);
        m_file = stdout;
        return true;
    }
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) {
        std::filesystem::create_directories(parent, code);
    }
    brevane::MutexLock guard(m_mutex);
    m_file = std::fopen(path.c_str(), "wb");
    if (m_file == nullptr) {
        error = "cannot create \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    return true;
}

void CaptureOutput::SetLimit(std::uint64_t frames) {
    brevane::MutexLock guard(m_mutex);
    m_limit = frames;
}

void CaptureOutput::Write(std::span<const std::uint8_t> data, bool keyFrame) {
    brevane::UniqueMutexLock lock(m_mutex);
    if (!m_error.empty() || (m_limit != 0 && m_frames >= m_limit)) {
        return;
    }
    if (m_kind == OutputKind::Mpeg4File && !m_sawKeyFrame) {
        if (!keyFrame) {
            return;  // nothing decodes before the first key frame
        }
        m_sawKeyFrame = true;
    }
    if (m_kind == OutputKind::JpegFolder) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06llu.jpg",
                      static_cast<unsigned long long>(m_frames + 1));
        const std::string file = (std::filesystem::path(m_path) / name).string();
        std::FILE* out = std::fopen(file.c_str(), "wb");
        if (out == nullptr) {
            m_error = "cannot create \"" + file + "\": " + std::strerror(errno);
        } else {
            if (std::fwrite(data.data(), 1, data.size(), out) != data.size()) {
                m_error = "cannot write \"" + file + "\": " + std::strerror(errno);
            }
            if (std::fclose(out) != 0 && m_error.empty()) {
                m_error = "cannot write \"" + file + "\": " + std::strerror(errno);
            }
        }
    } else if (m_file == nullptr ||
               std::fwrite(data.data(), 1, data.size(), m_file) != data.size()) {
        m_error = "cannot write " + Name() + ": " + std::strerror(errno);
    }
    if (m_error.empty()) {
        ++m_frames;
        m_bytes += data.size();
    }
    // The waiter cares only for the end, so most frames wake nobody.
    const bool over = !m_error.empty() || (m_limit != 0 && m_frames == m_limit);
    lock.unlock();
    if (over) {
        m_changed.notify_all();
    }
}

bool CaptureOutput::WaitForLimit(std::chrono::milliseconds timeout) {
    brevane::UniqueMutexLock lock(m_mutex);
    const auto over = [&]() REQUIRES(m_mutex) {
        return !m_error.empty() || (m_limit != 0 && m_frames >= m_limit);
    };
    return m_changed.wait_for(lock.Native(), timeout, over) && m_error.empty();
}

void CaptureOutput::Close() {
    brevane::MutexLock guard(m_mutex);
    if (m_file != nullptr) {
        const int closed = m_file == stdout ? std::fflush(m_file) : std::fclose(m_file);
        if (closed != 0 && m_error.empty()) {
            m_error = "cannot write " + Name() + ": " + std::strerror(errno);
        }
        m_file = nullptr;
    }
}

std::uint64_t CaptureOutput::FramesWritten() const {
    brevane::MutexLock guard(m_mutex);
    return m_frames;
}

std::uint64_t CaptureOutput::BytesWritten() const {
    brevane::MutexLock guard(m_mutex);
    return m_bytes;
}

std::string CaptureOutput::Error() const {
    brevane::MutexLock guard(m_mutex);
    return m_error;
}

}  // namespace darvik::cli
