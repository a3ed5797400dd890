// What the files of ConsoleCamera share and nothing else includes: the frame
// receiver and the I/O event sink the camera hands the module, and the few
// helpers for ports, answers and the module's text.
//
// The receiver and the sink are owned by their ConsoleCamera; the module
// calls them on its channel and I/O threads, the camera's worker resets
// them between runs, and any thread may read what they counted. The helpers
// are stateless.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "console/ConsoleCamera.h"
#include "core/Mutex.h"
#include "darvik/IIPVideoCapture.h"
#include "kit/NarrowText.h"

namespace darvik::console {

// Inputs and outputs shown and described to the driver: as many as the
// module tracks. A camera claiming two billion inputs gets 1024. Every count
// that enters the console (command line, site file, page, query) goes
// through Ports, the one place the cap is applied.
inline constexpr std::uint32_t kMaxPorts = 1024;

inline std::uint32_t Ports(std::int64_t count) {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(count, 0, kMaxPorts));
}

inline nlohmann::json Refused(const std::string& reason) { return {{"ok", false}, {"error", reason}}; }

// The module's text crosses into the console here and only here: whatever
// the module hands out (log lines, model and resolution names, preset names,
// query messages) is converted to UTF-8 before it reaches JSON, and what the
// page sends is converted back before it reaches the module.
inline std::string FromModule(std::string_view narrow) { return host::NarrowToUtf8(narrow); }
inline bool ToModule(std::string_view utf8, std::string& narrow) { return host::Utf8ToNarrow(utf8, narrow); }

// An exception caught at the top of a thread: said on standard error, and
// the thread goes on.
void ReportEscaped(const char* where, const char* what);

// The host's frame receiver for channel 0: counts what arrives and makes the
// live picture from it.
class ConsoleCamera::Receiver final : public brevane::ipcapture::IFrameReceiver {
    DARVIK_IMPLEMENT_SLOT0(Receiver)

   public:
    explicit Receiver(LatestPicture& pictures) : m_preview(pictures) {}
    ~Receiver() = default;

    // Called on the module's channel thread: nothing may escape into it.
    bool DeliverFrame(brevane::ipcapture::IFrame* frame) override;
    void OnSignalLost() override { signalLost.fetch_add(1); }

    // Between channel runs: MPEG-4 decoding starts again at a key frame.
    void ResetPreview();

    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<std::uint64_t> signalLost{0};
    std::atomic<std::uint32_t> width{0};
    std::atomic<std::uint32_t> height{0};

   private:
    bool Deliver(brevane::ipcapture::IFrame* frame);

    brevane::Mutex m_mutex;
    PreviewMaker m_preview GUARDED_BY(m_mutex);
};

// The host's I/O event sink: keeps the input states and publishes each change.
class ConsoleCamera::IoSink final : public brevane::ipcapture::IIOEventSink {
    DARVIK_IMPLEMENT_SLOT0(IoSink)

   public:
    explicit IoSink(ConsoleCamera& owner) : m_owner(owner) {}
    ~IoSink() = default;

    // Both called on the module's I/O threads: nothing may escape into them.
    void OnInputChanged(std::uint32_t input, std::int32_t state) override;
    void OnIOFailure() override;

    // `inputs` is a count that went through Ports.
    void Reset(std::uint32_t inputs);
    // 0 unknown, 1 low, 2 high per input; and whether the last report was a failure.
    std::vector<std::int32_t> Inputs(bool& failed) const;

   private:
    void Changed(std::uint32_t input, std::int32_t state);
    void Failed();

    ConsoleCamera& m_owner;
    mutable brevane::Mutex m_mutex;
    std::vector<std::int32_t> m_inputs GUARDED_BY(m_mutex);
    bool m_failed GUARDED_BY(m_mutex) = false;
};

}  // namespace darvik::console
