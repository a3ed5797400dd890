// Where darvik-host capture puts the frames it receives: numbered .jpg files
// in a folder, one .mjpeg file (the pictures back to back), or one .m4v
// MPEG-4 elementary stream (the module's frames back to back; key frames
// carry the sequence header, so the file opens in players and ffmpeg). The
// path "-" means standard output (the .mjpeg or .m4v bytes, fully buffered).
//
// Write is called on the channel's worker thread, the rest on the command's
// thread; the counters and the files are guarded by m_mutex. Frames beyond
// the limit are counted as received but not written.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "core/Mutex.h"

namespace darvik::cli {

enum class OutputKind { JpegFolder, MjpegFile, Mpeg4File };

class CaptureOutput {
   public:
    CaptureOutput() = default;
    ~CaptureOutput();
    CaptureOutput(const CaptureOutput&) = delete;
    CaptureOutput& operator=(const CaptureOutput&) = delete;

    // Creates the folder (with its parents) or the file; "-" (not for a
    // folder) writes to standard output. False with a reason in error.
    bool Open(OutputKind kind, const std::string& path, std::string& error);
    // Stop writing after this many frames (0: no limit).
    void SetLimit(std::uint64_t frames);

    // One frame as the host received it. keyFrame matters for MPEG-4: the
    // file starts with a key frame.
    void Write(std::span<const std::uint8_t> data, bool keyFrame);

    // Waits until the limit is reached (or a write failed) or the time passed;
    // true when reached. Write wakes it only then, not for every frame.
    bool WaitForLimit(std::chrono::milliseconds timeout);

    void Close();

    std::uint64_t FramesWritten() const;
    std::uint64_t BytesWritten() const;
    // The first write error, empty while none happened.
    std::string Error() const;
    // The file or folder written to.
    const std::string& Path() const { return m_path; }

    // The path that means standard output.
    static constexpr const char* kStandardOutput = "-";

   private:
    // The output's name in error messages.
    std::string Name() const;

    OutputKind m_kind = OutputKind::JpegFolder;
    std::string m_path;
    mutable brevane::Mutex m_mutex;
    std::condition_variable m_changed;
    std::FILE* m_file GUARDED_BY(m_mutex) = nullptr;
    std::uint64_t m_limit GUARDED_BY(m_mutex) = 0;
    std::uint64_t m_frames GUARDED_BY(m_mutex) = 0;
    std::uint64_t m_bytes GUARDED_BY(m_mutex) = 0;
    bool m_sawKeyFrame GUARDED_BY(m_mutex) = false;
    std::string m_error GUARDED_BY(m_mutex);
};

}  // namespace darvik::cli
