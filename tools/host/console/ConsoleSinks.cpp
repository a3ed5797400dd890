// The frame receiver and the I/O event sink of a console camera: what the
// module calls on its channel and I/O threads (see ConsoleCameraParts.h).
#include <cstdio>
#include <exception>

#include "console/ConsoleCameraParts.h"
#include "darvik/Contract.h"
#include "kit/FrameAllocator.h"

namespace darvik::console {

void ReportEscaped(const char* where, const char* what) {
    std::fprintf(stderr, "darvik-host console: %s: %s (caught; the console goes on)\n", where, what);
}

bool ConsoleCamera::Receiver::DeliverFrame(brevane::ipcapture::IFrame* frame) {
    try {
        return Deliver(frame);
    } catch (const std::exception& error) {
        ReportEscaped("frame receiver", error.what());
        return false;
    }
}

void ConsoleCamera::Receiver::ResetPreview() {
    brevane::MutexLock lock(m_mutex);
    m_preview.Reset();
}

bool ConsoleCamera::Receiver::Deliver(brevane::ipcapture::IFrame* frame) {
    // Frames come from the host's own allocator.
    const host::Frame* own = dynamic_cast<const host::Frame*>(frame);
    if (own == nullptr) {
        return false;
    }
    const auto data = own->Data();
    frames.fetch_add(1);
    bytes.fetch_add(data.size());
    width.store(own->Width());
    height.store(own->Height());
    brevane::MutexLock lock(m_mutex);
    if (own->Format() == brevane::contract::kFormatJpeg) {
        m_preview.OnJpeg(data, own->Width(), own->Height());
    } else if (own->Format() == brevane::contract::kFormatDivx || own->Format() == brevane::contract::kFormatDivi) {
        m_preview.OnMpeg4(data, own->Format() == brevane::contract::kFormatDivx);
    }
    return true;
}

void ConsoleCamera::IoSink::OnInputChanged(std::uint32_t input, std::int32_t state) {
    try {
        Changed(input, state);
    } catch (const std::exception& error) {
        ReportEscaped("input event", error.what());
    }
}

void ConsoleCamera::IoSink::OnIOFailure() {
    try {
        Failed();
    } catch (const std::exception& error) {
        ReportEscaped("I/O failure event", error.what());
    }
}

void ConsoleCamera::IoSink::Reset(std::uint32_t inputs) {
    brevane::MutexLock lock(m_mutex);
    m_inputs.assign(inputs, brevane::ipcapture::kIoStateUnknown);
    m_failed = false;
}

std::vector<std::int32_t> ConsoleCamera::IoSink::Inputs(bool& failed) const {
    brevane::MutexLock lock(m_mutex);
    failed = m_failed;
    return m_inputs;
}

void ConsoleCamera::IoSink::Changed(std::uint32_t input, std::int32_t state) {
    {
        brevane::MutexLock lock(m_mutex);
        if (input >= m_inputs.size()) {
            if (input >= kMaxPorts) {
                return;
            }
            m_inputs.resize(input + 1, brevane::ipcapture::kIoStateUnknown);
        }
        m_inputs[input] = state;
        m_failed = false;
    }
    m_owner.PublishIo();
}

void ConsoleCamera::IoSink::Failed() {
    {
        brevane::MutexLock lock(m_mutex);
        std::fill(m_inputs.begin(), m_inputs.end(), brevane::ipcapture::kIoStateUnknown);
        m_failed = true;
    }
    m_owner.NoteFailure("digital I/O failure: every input and output state reset");
    m_owner.PublishIo();
}

}  // namespace darvik::console
