// CameraModel: the camera behind the simulator's CGI interface. It answers
// "get" queries with name:value lines and carries out "set" commands: JPEG
// quality, the MPEG encoder settings (pending until applied), relay outputs,
// the PTZ head and its presets. Alarm inputs change through the control
// interface or on a toggle script.
//
// Owned by the Simulator. Thread-safe: connection threads and control
// callers use it at once; every public operation takes m_lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Config.h"
#include "core/Mutex.h"
#include "PtzHead.h"

namespace darvik::camsim {

struct CgiReply {
    unsigned status = 200;
    std::string body;
};

class CameraModel {
   public:
    using Clock = std::chrono::steady_clock;

    // Preset numbers the camera accepts: 0 ... kPresetCount - 1.
    static constexpr int kPresetCount = 255;
    // Output writes kept for the control interface; the oldest go first.
    static constexpr std::size_t kMaxOutputWrites = 10000;

    CameraModel(const Config& config, Clock::time_point start);

    // The HTTP port, reported in the "net" group.
    void SetHttpPort(std::uint16_t port);

    // True for the groups answered with an endless stream.
    static bool IsStreamGroup(std::string_view group);

    // get?GROUP: 200 with name:value lines separated by CR LF, 404 for an
    // unknown group. Numeric values are padded as `padding` says.
    CgiReply Get(std::string_view group, ValuePadding padding, Clock::time_point now);

    // set?name=value[&name=value]: all pairs are checked and carried out
    // together, or none is: 404 for an unknown name or a preset to recall
    // that is not stored, 400 for a malformed pair or a value out of range.
    CgiReply Set(std::string_view query, Clock::time_point now);

    // s_ssta: one '0' or '1' per input, input 0 first.
    std::string InputStatus(Clock::time_point now);
    bool SetInput(std::uint32_t index, bool active, Clock::time_point now);
    bool FlipInput(std::uint32_t index, Clock::time_point now);

    std::vector<int> Outputs();
    std::vector<OutputWrite> OutputWrites();
    void ClearOutputWrites();

    EncoderState Encoder();
    HeadState Head(Clock::time_point now);
    std::map<int, HeadPosition> Presets();

   private:
    // Everything a set command may change, copied so that a command that
    // fails half-way leaves the camera untouched.
    struct Settable {
        EncoderState encoder;
        std::vector<int> outputs;
        PtzHead head;
        std::map<int, HeadPosition> presets;
    };

    // One name=value pair of a set command, by group: encoder, relay
    // outputs, head motion, presets.
    CgiReply ApplyPair(Settable& s, std::string_view name, std::string_view value,
                       std::vector<OutputWrite>& writes, Clock::time_point now) const;
    static CgiReply ApplyEncoderPair(Settable& s, std::string_view name, std::optional<int> value);
    static CgiReply ApplyOutputPair(Settable& s, std::string_view name, std::optional<int> value,
                                    std::vector<OutputWrite>& writes);
    static CgiReply ApplyHeadPair(Settable& s, std::string_view name, std::optional<int> value,
                                  Clock::time_point now);
    static CgiReply ApplyPresetPair(Settable& s, std::string_view name, std::string_view text,
                                    std::optional<int> value, Clock::time_point now);
    bool ScriptParity(std::uint32_t index, Clock::time_point now) const;
    std::string InputStatusLocked(Clock::time_point now) const REQUIRES(m_lock);

    const Config m_config;
    const Clock::time_point m_start;

    brevane::Mutex m_lock;
    std::uint16_t m_httpPort GUARDED_BY(m_lock) = 0;
    std::vector<bool> m_inputs GUARDED_BY(m_lock);  // before the script's toggles
    Settable m_state GUARDED_BY(m_lock);
    std::deque<OutputWrite> m_writes GUARDED_BY(m_lock);
};

}  // namespace darvik::camsim
