#include "CameraModel.h"

#include <charconv>
#include <limits>
#include <optional>

namespace darvik::camsim {

namespace {

constexpr const char* kOk = "OK\r\n";

std::optional<int> ParseValue(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::size_t start = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (start == text.size()) {
        return std::nullopt;
    }
    for (std::size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
    }
    if (text[0] == '+') {
        text.remove_prefix(1);
    }
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

CgiReply Error(unsigned status, std::string_view what, std::string_view name) {
    std::string body;
    body.append(status == 404 ? "Not Found: " : "Bad Request: ");
    body.append(what);
    if (!name.empty()) {
        body.append(" ");
        body.append(name);
    }
    body.append("\r\n");
    return {status, body};
}

// Builds a get reply line by line.
class Lines {
   public:
    explicit Lines(ValuePadding padding) : m_padding(padding) {}

    void Text(std::string_view name, std::string_view value) { Add(name, value); }

    void Number(std::string_view name, long long value) {
        std::string text = std::to_string(value);
        switch (m_padding) {
            case ValuePadding::LeadingZeros:
                text.insert(0, "0");
                break;
            case ValuePadding::LeadingBlanks:
                text.insert(0, " ");
                break;
            case ValuePadding::None:
                break;
        }
        Add(name, text);
    }

    std::string Take() { return std::move(m_body); }

   private:
    void Add(std::string_view name, std::string_view value) {
        m_body.append(name);
        m_body.push_back(':');
        m_body.append(value);
        m_body.append("\r\n");
    }

    ValuePadding m_padding;
    std::string m_body;
};

}  // namespace

CameraModel::CameraModel(const Config& config, Clock::time_point start)
    : m_config(config),
      m_start(start),
      m_inputs(config.inputCount, false),
      m_state{EncoderState{}, std::vector<int>(config.outputCount, 0), PtzHead(start), {}} {}

void CameraModel::SetHttpPort(std::uint16_t port) {
    brevane::MutexLock guard(m_lock);
    m_httpPort = port;
}

bool CameraModel::IsStreamGroup(std::string_view group) {
    return group == "jpgl" || group == "jpgn" || group == "jpgh" || group == "liv";
}

bool CameraModel::ScriptParity(std::uint32_t index, Clock::time_point now) const {
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_start).count();
    bool parity = false;
    for (const InputToggle& toggle : m_config.inputScript) {
        if (toggle.input == index && toggle.periodMs > 0 && elapsedMs > 0) {
            parity ^= ((elapsedMs / toggle.periodMs) % 2) == 1;
        }
    }
    return parity;
}

std::string CameraModel::InputStatusLocked(Clock::time_point now) const {
    std::string status;
    status.reserve(m_inputs.size());
    for (std::uint32_t i = 0; i < m_inputs.size(); ++i) {
        status.push_back((m_inputs[i] != ScriptParity(i, now)) ? '1' : '0');
    }
    return status;
}

CgiReply CameraModel::Get(std::string_view group, ValuePadding padding, Clock::time_point now) {
    brevane::MutexLock guard(m_lock);
    Lines lines(padding);
    if (group == "sys") {
        lines.Text("s_prid", m_config.productId);
        lines.Text("s_name", "Darvik Network Camera");
        lines.Text("s_fwvr", "3.10");
        lines.Text("s_ssta", InputStatusLocked(now));
        lines.Number("s_uptm", std::chrono::duration_cast<std::chrono::seconds>(now - m_start).count());
    } else if (group == "mpg") {
        const MpegSettings& applied = m_state.encoder.applied;
        lines.Number("m_type", m_config.ntsc ? 0 : 1);
        lines.Number("m_mode", applied.mode);
        lines.Number("m_qual", applied.quality);
        lines.Number("m_fram", applied.frameRate);
        lines.Number("m_resl", applied.resolution);
        lines.Number("m_kfrm", m_config.keyFrameInterval);
    } else if (group == "aud") {
        lines.Number("a_type", m_config.audioType);
        lines.Number("a_rate", m_config.audioType == 0 ? 0 : 8000);
    } else if (group == "alm") {
        lines.Number("a_snum", m_config.claimedInputs != 0 ? m_config.claimedInputs : m_config.inputCount);
        for (std::size_t i = 0; i < m_state.outputs.size(); ++i) {
            lines.Number("a_aoa" + std::to_string(i + 1), m_state.outputs[i]);
        }
        lines.Number("a_mode", 0);
    } else if (group == "net") {
        lines.Text("n_madr", m_config.macAddress);
        lines.Text("n_ipad", "127.0.0.1");
        lines.Text("n_mask", "255.0.0.0");
        lines.Number("n_port", m_httpPort);
        lines.Number("n_dhcp", 0);
    } else {
        return Error(404, "unknown group", group);
    }
    return {200, lines.Take()};
}

namespace {

constexpr int kMaxSpeed = 64;
constexpr int kAny = std::numeric_limits<int>::max();

CgiReply BadValue(std::string_view name) { return Error(400, "bad value for", name); }

}  // namespace

CgiReply CameraModel::ApplyPair(Settable& s, std::string_view name, std::string_view text,
                                std::vector<OutputWrite>& writes, Clock::time_point now) const {
    const std::optional<int> value = ParseValue(text);
    if (name.starts_with("a_aoa")) {
        return ApplyOutputPair(s, name, value, writes);
    }
    if (name.starts_with("p_prs")) {
        return ApplyPresetPair(s, name, text, value, now);
    }
    if (name.starts_with("p_")) {
        return ApplyHeadPair(s, name, value, now);
    }
    return ApplyEncoderPair(s, name, value);
}

CgiReply CameraModel::ApplyEncoderPair(Settable& s, std::string_view name, std::optional<int> value) {
    auto inRange = [&](int low, int high) { return value && *value >= low && *value <= high; };
    if (name == "j_qual") {
        if (!inRange(0, 2)) return BadValue(name);
        s.encoder.jpegQuality = *value;
    } else if (name == "m_mode") {
        if (!inRange(0, 3)) return BadValue(name);
        s.encoder.pending.mode = *value;
    } else if (name == "m_qual") {
        if (!inRange(500, 2000)) return BadValue(name);
        s.encoder.pending.quality = *value;
    } else if (name == "m_fram") {
        if (!inRange(1, 5)) return BadValue(name);
        s.encoder.pending.frameRate = *value;
    } else if (name == "m_resl") {
        if (!inRange(2, 4)) return BadValue(name);
        s.encoder.pending.resolution = *value;
    } else if (name == "r_appl") {
        if (!value) return BadValue(name);
        if (*value == 1) {
            s.encoder.applied = s.encoder.pending;
        }
    } else {
        return Error(404, "unknown parameter", name);
    }
    return {200, kOk};
}

CgiReply CameraModel::ApplyOutputPair(Settable& s, std::string_view name, std::optional<int> value,
                                      std::vector<OutputWrite>& writes) {
    const std::optional<int> number = ParseValue(name.substr(5));
    if (!number || name[5] == '+' || name[5] == '-' || *number < 1 ||
        static_cast<std::size_t>(*number) > s.outputs.size()) {
        return Error(404, "unknown parameter", name);
    }
    if (!value) return BadValue(name);
    s.outputs[*number - 1] = *value;
    writes.push_back({static_cast<std::uint32_t>(*number), *value});
    return {200, kOk};
}

CgiReply CameraModel::ApplyHeadPair(Settable& s, std::string_view name, std::optional<int> value,
                                    Clock::time_point now) {
    auto inRange = [&](int low, int high) { return value && *value >= low && *value <= high; };
    if (name == "p_panl" || name == "p_panr") {
        if (!inRange(0, kMaxSpeed)) return BadValue(name);
        s.head.Pan(name == "p_panr" ? 1 : -1, *value, now);
    } else if (name == "p_tilu" || name == "p_tild") {
        if (!inRange(0, kMaxSpeed)) return BadValue(name);
        s.head.Tilt(name == "p_tilu" ? 1 : -1, *value, now);
    } else if (name == "p_zomi" || name == "p_zomo") {
        if (!inRange(0, kMaxSpeed)) return BadValue(name);
        s.head.Zoom(name == "p_zomi" ? 1 : -1, *value, now);
    } else if (name == "p_fcsf" || name == "p_fcsn") {
        if (!inRange(0, kAny)) return BadValue(name);
        s.head.Focus(name == "p_fcsf" ? 1 : -1, now);
    } else if (name == "p_irso" || name == "p_irsc") {
        if (!inRange(0, kAny)) return BadValue(name);
        s.head.Iris(name == "p_irso" ? 1 : -1, now);
    } else if (name == "p_ptms") {
        if (!value) return BadValue(name);
        s.head.Pan(0, 0, now);
        s.head.Tilt(0, 0, now);
    } else if (name == "p_zoms") {
        if (!value) return BadValue(name);
        s.head.Zoom(0, 0, now);
    } else if (name == "p_fcss") {
        if (!value) return BadValue(name);
        s.head.Focus(0, now);
    } else if (name == "p_irss") {
        if (!value) return BadValue(name);
        s.head.Iris(0, now);
    } else {
        return Error(404, "unknown parameter", name);
    }
    return {200, kOk};
}

CgiReply CameraModel::ApplyPresetPair(Settable& s, std::string_view name, std::string_view text,
                                      std::optional<int> value, Clock::time_point now) {
    auto inRange = [&](int low, int high) { return value && *value >= low && *value <= high; };
    if (name == "p_prss") {
        if (!inRange(0, kPresetCount - 1)) return BadValue(name);
        s.presets[*value] = s.head.State(now).position;
    } else if (name == "p_prsm") {
        if (!value) return BadValue(name);
        auto found = s.presets.find(*value);
        if (found == s.presets.end()) {
            return Error(404, "no preset", text);
        }
        s.head.MoveTo(found->second, now);
    } else if (name == "p_prsd") {
        // Deleting a preset that is not stored succeeds: the caller's view
        // and the camera's agree afterwards either way.
        if (!inRange(0, kPresetCount - 1)) return BadValue(name);
        s.presets.erase(*value);
    } else {
        return Error(404, "unknown parameter", name);
    }
    return {200, kOk};
}

CgiReply CameraModel::Set(std::string_view query, Clock::time_point now) {
    if (query.empty()) {
        return Error(400, "nothing to set", {});
    }
    brevane::MutexLock guard(m_lock);
    Settable next = m_state;
    std::vector<OutputWrite> writes;
    std::size_t pos = 0;
    while (pos <= query.size()) {
        std::size_t end = query.find('&', pos);
        if (end == std::string_view::npos) {
            end = query.size();
        }
        const std::string_view pair = query.substr(pos, end - pos);
        const std::size_t eq = pair.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            return Error(400, "malformed pair", pair);
        }
        CgiReply reply = ApplyPair(next, pair.substr(0, eq), pair.substr(eq + 1), writes, now);
        if (reply.status != 200) {
            return reply;
        }
        pos = end + 1;
    }
    m_state = std::move(next);
    for (const OutputWrite& write : writes) {
        if (m_writes.size() >= kMaxOutputWrites) {
            m_writes.pop_front();
        }
        m_writes.push_back(write);
    }
    return {200, kOk};
}

std::string CameraModel::InputStatus(Clock::time_point now) {
    brevane::MutexLock guard(m_lock);
    return InputStatusLocked(now);
}

bool CameraModel::SetInput(std::uint32_t index, bool active, Clock::time_point now) {
    brevane::MutexLock guard(m_lock);
    if (index >= m_inputs.size()) {
        return false;
    }
    m_inputs[index] = active != ScriptParity(index, now);
    return true;
}

bool CameraModel::FlipInput(std::uint32_t index, Clock::time_point) {
    brevane::MutexLock guard(m_lock);
    if (index >= m_inputs.size()) {
        return false;
    }
    m_inputs[index] = !m_inputs[index];
    return true;
}

std::vector<int> CameraModel::Outputs() {
    brevane::MutexLock guard(m_lock);
    return m_state.outputs;
}

std::vector<OutputWrite> CameraModel::OutputWrites() {
    brevane::MutexLock guard(m_lock);
    return {m_writes.begin(), m_writes.end()};
}

void CameraModel::ClearOutputWrites() {
    brevane::MutexLock guard(m_lock);
    m_writes.clear();
}

EncoderState CameraModel::Encoder() {
    brevane::MutexLock guard(m_lock);
    return m_state.encoder;
}

HeadState CameraModel::Head(Clock::time_point now) {
    brevane::MutexLock guard(m_lock);
    return m_state.head.State(now);
}

std::map<int, HeadPosition> CameraModel::Presets() {
    brevane::MutexLock guard(m_lock);
    return m_state.presets;
}

}  // namespace darvik::camsim
