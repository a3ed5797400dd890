#include "kit/FrameAllocator.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace darvik::host {
namespace {

struct Call {
    int slot;
    const char* name;
};

// The order in which the module prepares a frame before copying data in.
constexpr std::array<Call, 7> kSequence{{{14, "SetWidth"},
                                         {12, "SetHeight"},
                                         {16, "SetSizeClass"},
                                         {4, "SetDataSize"},
                                         {10, "SetFormat"},
                                         {5, "PrepareBuffer"},
                                         {2, "GetBuffer"}}};

const char* SlotName(int slot) {
    for (const Call& call : kSequence) {
        if (call.slot == slot) {
            return call.name;
        }
    }
    return "?";
}

}  // namespace

std::string FormatCodeText(std::uint32_t formatCode) {
    std::string text(4, '?');
    for (std::size_t i = 0; i < 4; ++i) {
        const char c = static_cast<char>((formatCode >> (8 * i)) & 0xFFu);
        if (c >= 0x20 && c < 0x7F) {
            text[i] = c;
        }
    }
    return text;
}

void Frame::Reset(std::uint64_t serial, std::uint32_t formatCode, std::uint32_t bufferSize) {
    m_buffer = std::make_unique_for_overwrite<std::uint8_t[]>(bufferSize);
    m_bufferSize = bufferSize;
    m_serial = serial;
    m_allocatedFormat = formatCode;
    m_format = 0;
    m_width = 0;
    m_height = 0;
    m_sizeClass = 0;
    m_dataSize = 0;
    m_step = 0;
}

void Frame::Step(int slot) {
    if (m_step < kSequenceLength && kSequence[m_step].slot == slot) {
        ++m_step;
        return;
    }
    if (slot == 2 && m_step == kSequenceLength) {
        return;  // asking for the buffer again is harmless
    }
    std::string text = "frame " + std::to_string(m_serial) + ": " + SlotName(slot) + " (slot " +
                       std::to_string(slot) + ") out of order, expected ";
    text += m_step < kSequenceLength ? kSequence[m_step].name : "no further call";
    m_owner.ReportViolation(std::move(text));
    // Carry on from the call that was made, so one slip is reported once.
    for (std::size_t i = 0; i < kSequenceLength; ++i) {
        if (kSequence[i].slot == slot) {
            m_step = i + 1;
        }
    }
}

std::uint8_t* Frame::GetBuffer() {
    Step(2);
    return m_buffer.get();
}

void Frame::SetDataSize(std::uint32_t size) {
    Step(4);
    m_dataSize = size;
    if (size > m_bufferSize) {
        m_owner.ReportViolation("frame " + std::to_string(m_serial) + ": data size " +
                                std::to_string(size) + " exceeds the buffer of " +
                                std::to_string(m_bufferSize) + " bytes asked for");
    }
}

void Frame::PrepareBuffer() { Step(5); }

void Frame::SetFormat(std::uint32_t formatCode) {
    Step(10);
    m_format = formatCode;
}

void Frame::SetHeight(std::uint32_t height) {
    Step(12);
    m_height = height;
}

void Frame::SetWidth(std::uint32_t width) {
    Step(14);
    m_width = width;
}

void Frame::SetSizeClass(std::int32_t sizeClass) {
    Step(16);
    m_sizeClass = sizeClass;
}

std::span<const std::uint8_t> Frame::Data() const {
    return std::span<const std::uint8_t>(m_buffer.get(), std::min(m_dataSize, m_bufferSize));
}

brevane::ipcapture::IFrame* FrameAllocator::AllocateFrame(std::uint32_t formatCode,
                                                           std::uint32_t bufferSize,
                                                           const char* sourceName) {
    brevane::MutexLock lock(m_mutex);
    if (sourceName == nullptr || std::strcmp(sourceName, brevane::contract::kFrameSourceName) != 0) {
        ++m_violationCount;
        if (m_violations.size() < kMaxViolationTexts) {
            m_violations.push_back(std::string("allocation with source name \"") +
                                   (sourceName != nullptr ? sourceName : "(null)") + "\"");
        }
    }
    if (m_refuse || bufferSize > m_maxBufferSize) {
        ++m_refusals;
        return nullptr;
    }
    Frame* frame = nullptr;
    try {
        if (m_free.empty()) {
            m_frames.push_back(std::make_unique<Frame>(*this));
            frame = m_frames.back().get();
        } else {
            frame = m_free.back();
            m_free.pop_back();
        }
        ++m_allocations;
        frame->Reset(m_allocations, formatCode, bufferSize);
    } catch (...) {
        ++m_refusals;
        if (frame != nullptr) {
            m_free.push_back(frame);
        }
        return nullptr;
    }
    frame->m_live = true;
    return frame;
}

void FrameAllocator::ReleaseFrame(brevane::ipcapture::IFrame* frame) {
    brevane::MutexLock lock(m_mutex);
    const auto known = std::find_if(m_frames.begin(), m_frames.end(),
                                    [frame](const auto& owned) { return owned.get() == frame; });
    std::string violation;
    if (known == m_frames.end()) {
        violation = "release of a frame this allocator did not hand out";
    } else if (!(*known)->m_live) {
        violation = "frame " + std::to_string((*known)->m_serial) + " released twice";
    } else {
        (*known)->m_live = false;
        ++m_releases;
        m_free.push_back(known->get());
        return;
    }
    ++m_violationCount;
    if (m_violations.size() < kMaxViolationTexts) {
        m_violations.push_back(std::move(violation));
    }
}

void FrameAllocator::ReportViolation(std::string text) {
    brevane::MutexLock lock(m_mutex);
    ++m_violationCount;
    if (m_violations.size() < kMaxViolationTexts) {
        m_violations.push_back(std::move(text));
    }
}

void FrameAllocator::SetRefuseAllocations(bool refuse) {
    brevane::MutexLock lock(m_mutex);
    m_refuse = refuse;
}

void FrameAllocator::SetMaxBufferSize(std::uint32_t bytes) {
    brevane::MutexLock lock(m_mutex);
    m_maxBufferSize = bytes;
}

std::uint64_t FrameAllocator::Allocations() const {
    brevane::MutexLock lock(m_mutex);
    return m_allocations;
}

std::uint64_t FrameAllocator::Releases() const {
    brevane::MutexLock lock(m_mutex);
    return m_releases;
}

std::uint64_t FrameAllocator::Refusals() const {
    brevane::MutexLock lock(m_mutex);
    return m_refusals;
}

std::uint64_t FrameAllocator::Outstanding() const {
    brevane::MutexLock lock(m_mutex);
    return m_allocations - m_releases;
}

std::uint64_t FrameAllocator::ViolationCount() const {
    brevane::MutexLock lock(m_mutex);
    return m_violationCount;
}

std::vector<std::string> FrameAllocator::Violations() const {
    brevane::MutexLock lock(m_mutex);
    return m_violations;
}

}  // namespace darvik::host
