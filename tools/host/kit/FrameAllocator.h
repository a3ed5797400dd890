// Frame allocator of the reference host, with its frames. It checks what the
// module does with every frame: the call order SetWidth, SetHeight,
// SetSizeClass, SetDataSize, SetFormat, PrepareBuffer, GetBuffer; that the
// data size fits the buffer asked for; the source name; and that each frame
// is released exactly once. It counts allocations, releases and violations.
//
// Owned by the host. AllocateFrame and ReleaseFrame are called from the
// channel worker threads at once; a frame is used by one thread at a time.
// Frames are recycled, never freed before the allocator, so a late or double
// release is detected instead of touching freed memory.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/Mutex.h"
#include "darvik/HostServices.h"

namespace darvik::host {

class FrameAllocator;

class Frame final : public brevane::ipcapture::IFrame {
    DARVIK_IMPLEMENT_SLOT0(Frame)

   public:
    explicit Frame(FrameAllocator& owner) : m_owner(owner) {}
    ~Frame() = default;

    std::uint8_t* GetBuffer() override;
    void SetDataSize(std::uint32_t size) override;
    void PrepareBuffer() override;
    void SetFormat(std::uint32_t formatCode) override;
    void SetHeight(std::uint32_t height) override;
    void SetWidth(std::uint32_t width) override;
    void SetSizeClass(std::int32_t sizeClass) override;

    // What the module set, for the receiver.
    std::uint64_t Serial() const { return m_serial; }
    std::uint32_t AllocatedFormat() const { return m_allocatedFormat; }
    std::uint32_t Format() const { return m_format; }
    std::uint32_t Width() const { return m_width; }
    std::uint32_t Height() const { return m_height; }
    std::int32_t SizeClass() const { return m_sizeClass; }
    std::uint32_t DataSize() const { return m_dataSize; }
    std::size_t BufferSize() const { return m_bufferSize; }
    // The first DataSize() bytes of the buffer (fewer if it is smaller).
    std::span<const std::uint8_t> Data() const;
    // True once GetBuffer completed the call sequence.
    bool Complete() const { return m_step == kSequenceLength; }

   private:
    friend class FrameAllocator;
    static constexpr std::size_t kSequenceLength = 7;

    void Reset(std::uint64_t serial, std::uint32_t formatCode, std::uint32_t bufferSize);
    // Checks that slot is the next call of the sequence.
    void Step(int slot);

    FrameAllocator& m_owner;
    // Exactly the size asked for, so a sanitizer build catches a write past
    // it; not cleared, since the module fills what it hands over.
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::uint32_t m_bufferSize = 0;
    std::uint64_t m_serial = 0;
    std::uint32_t m_allocatedFormat = 0;
    std::uint32_t m_format = 0;
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    std::int32_t m_sizeClass = 0;
    std::uint32_t m_dataSize = 0;
    std::size_t m_step = 0;
    // Guarded by the owner's m_mutex; no annotation, since FrameAllocator is
    // still incomplete here.
    bool m_live = false;
};

class FrameAllocator final : public brevane::ipcapture::IFrameAllocator {
    DARVIK_IMPLEMENT_SLOT0(FrameAllocator)

   public:
    FrameAllocator() = default;
    ~FrameAllocator() = default;
    FrameAllocator(const FrameAllocator&) = delete;
    FrameAllocator& operator=(const FrameAllocator&) = delete;

    brevane::ipcapture::IFrame* AllocateFrame(std::uint32_t formatCode, std::uint32_t bufferSize,
                                              const char* sourceName) override;
    void ReleaseFrame(brevane::ipcapture::IFrame* frame) override;

    // Refuse every allocation (answer null) while set.
    void SetRefuseAllocations(bool refuse);
    // Larger buffers are refused; default 64 MiB.
    void SetMaxBufferSize(std::uint32_t bytes);

    std::uint64_t Allocations() const;
    std::uint64_t Releases() const;
    std::uint64_t Refusals() const;
    // Frames handed out and not yet released.
    std::uint64_t Outstanding() const;
    std::uint64_t ViolationCount() const;
    // Text of the first violations (at most kMaxViolationTexts).
    std::vector<std::string> Violations() const;

    static constexpr std::size_t kMaxViolationTexts = 100;

   private:
    friend class Frame;
    void ReportViolation(std::string text);

    mutable brevane::Mutex m_mutex;
    std::vector<std::unique_ptr<Frame>> m_frames GUARDED_BY(m_mutex);
    std::vector<Frame*> m_free GUARDED_BY(m_mutex);
    std::uint64_t m_allocations GUARDED_BY(m_mutex) = 0;
    std::uint64_t m_releases GUARDED_BY(m_mutex) = 0;
    std::uint64_t m_refusals GUARDED_BY(m_mutex) = 0;
    std::uint64_t m_violationCount GUARDED_BY(m_mutex) = 0;
    std::vector<std::string> m_violations GUARDED_BY(m_mutex);
    bool m_refuse GUARDED_BY(m_mutex) = false;
    std::uint32_t m_maxBufferSize GUARDED_BY(m_mutex) = 64u << 20;
};

// "JPEG" etc. from a format code; non-printable characters as '?'.
std::string FormatCodeText(std::uint32_t formatCode);

}  // namespace darvik::host
