#include "ControlApi.h"

#include <charconv>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>

namespace darvik::camsim {

namespace {

using nlohmann::json;

// ---- to JSON --------------------------------------------------------------

json ToJson(const Faults& f) {
    json pathStatus = json::array();
    for (const PathStatus& p : f.pathStatus) {
        pathStatus.push_back({{"prefix", p.prefix}, {"status", p.status}, {"body", p.body}});
    }
    return {
        {"refuseConnections", f.refuseConnections},
        {"refuseFirstConnections", f.refuseFirstConnections},
        {"resetRequests", f.resetRequests},
        {"pathStatus", pathStatus},
        {"delayMs", f.delayMs},
        {"stall", f.stall},
        {"cutAfterBytes", f.cutAfterBytes ? json(*f.cutAfterBytes) : json(nullptr)},
        {"garbage", f.garbage},
        {"padding", ToString(f.padding)},
        {"onlyPaths", f.onlyPaths},
    };
}

json ToJson(const StreamFaults& f) {
    return {
        {"stallAfterFrames", f.stallAfterFrames},
        {"closeAfterFrames", f.closeAfterFrames},
        {"closeAfterBytes", f.closeAfterBytes},
        {"chunkSizes", f.chunkSizes},
        {"garbageBetweenFrames", f.garbageBetweenFrames},
        {"wrongLengthEvery", f.wrongLengthEvery},
        {"refuseFirstConnections", f.refuseFirstConnections},
    };
}

json ToJson(const MpegSettings& m) {
    return {{"m_mode", m.mode}, {"m_qual", m.quality}, {"m_fram", m.frameRate}, {"m_resl", m.resolution}};
}

json ToJson(const HeadPosition& p) {
    return {{"pan", p.pan}, {"tilt", p.tilt}, {"zoom", p.zoom}, {"focus", p.focus}, {"iris", p.iris}};
}

json ToJson(const AxisMotion& m) { return {{"direction", m.direction}, {"speed", m.speed}}; }

json Inputs(Simulator& sim) {
    const std::string status = sim.InputStatus();
    return {{"s_ssta", status}, {"count", status.size()}};
}

json Outputs(Simulator& sim) {
    json writes = json::array();
    for (const OutputWrite& w : sim.OutputWrites()) {
        writes.push_back({{"output", w.output}, {"value", w.value}});
    }
    return {{"values", sim.Outputs()}, {"writes", writes}};
}

json Encoder(Simulator& sim) {
    const EncoderState e = sim.Encoder();
    return {{"applied", ToJson(e.applied)}, {"pending", ToJson(e.pending)}, {"j_qual", e.jpegQuality}};
}

json Ptz(Simulator& sim) {
    const HeadState head = sim.Head();
    json presets = json::array();
    for (const auto& [number, position] : sim.Presets()) {
        json entry = ToJson(position);
        entry["number"] = number;
        presets.push_back(entry);
    }
    return {
        {"position", ToJson(head.position)},
        {"motion",
         {{"pan", ToJson(head.pan)},
          {"tilt", ToJson(head.tilt)},
          {"zoom", ToJson(head.zoom)},
          {"focus", ToJson(head.focus)},
          {"iris", ToJson(head.iris)}}},
        {"presets", presets},
    };
}

json Log(Simulator& sim) {
    json entries = json::array();
    for (const RequestLogEntry& e : sim.RequestLog()) {
        entries.push_back({{"target", e.target}, {"auth", ToString(e.auth)}, {"status", e.status}});
    }
    return entries;
}

json Streams(Simulator& sim) {
    return {{"active", sim.ActiveStreams()}, {"frames", sim.StreamFramesProduced()}};
}

json State(Simulator& sim) {
    const Config& c = sim.GetConfig();
    return {
        {"camera",
         {{"url", sim.Url()},
          {"productId", c.productId},
          {"standard", c.ntsc ? "ntsc" : "pal"},
          {"inputCount", c.inputCount},
          {"outputCount", c.outputCount},
          {"macAddress", c.macAddress},
          {"audioType", c.audioType},
          {"auth", ToString(c.auth)}}},
        {"inputs", Inputs(sim)},
        {"outputs", Outputs(sim)},
        {"encoder", Encoder(sim)},
        {"ptz", Ptz(sim)},
        {"faults", ToJson(sim.GetFaults())},
        {"streamFaults", ToJson(sim.GetStreamFaults())},
        {"streams", Streams(sim)},
        {"refusedConnections", sim.RefusedConnections()},
    };
}

// ---- from JSON ------------------------------------------------------------

// Reports a value of the wrong kind or range as a readable error.
struct BadField : std::runtime_error {
    using std::runtime_error::runtime_error;
};

template <typename T>
T Unsigned(const json& value, const std::string& key) {
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() > std::numeric_limits<T>::max()) {
        throw BadField("\"" + key + "\" needs a whole number from 0 to " +
                       std::to_string(std::numeric_limits<T>::max()));
    }
    return value.get<T>();
}

bool Bool(const json& value, const std::string& key) {
    if (!value.is_boolean()) throw BadField("\"" + key + "\" needs true or false");
    return value.get<bool>();
}

std::string Text(const json& value, const std::string& key) {
    if (!value.is_string()) throw BadField("\"" + key + "\" needs a string");
    return value.get<std::string>();
}

template <typename Apply>
bool ApplyObject(std::string_view text, std::string* error, Apply apply) {
    try {
        const json object = json::parse(text);
        if (!object.is_object()) {
            throw BadField("a JSON object is needed");
        }
        for (const auto& [key, value] : object.items()) {
            apply(key, value);
        }
        return true;
    } catch (const std::exception& e) {
        if (error != nullptr) *error = e.what();
        return false;
    }
}

void ApplyFault(Faults& f, const std::string& key, const json& value) {
    if (key == "refuseConnections") {
        f.refuseConnections = Bool(value, key);
    } else if (key == "refuseFirstConnections") {
        f.refuseFirstConnections = Unsigned<std::uint32_t>(value, key);
    } else if (key == "resetRequests") {
        f.resetRequests = Bool(value, key);
    } else if (key == "pathStatus") {
        if (!value.is_array()) throw BadField("\"pathStatus\" needs an array");
        std::vector<PathStatus> list;
        for (const json& item : value) {
            if (!item.is_object()) throw BadField("\"pathStatus\" entries are objects");
            PathStatus entry;
            for (const auto& [field, v] : item.items()) {
                if (field == "prefix") entry.prefix = Text(v, field);
                else if (field == "status") entry.status = Unsigned<unsigned>(v, field);
                else if (field == "body") entry.body = Text(v, field);
                else throw BadField("unknown field \"" + field + "\" in \"pathStatus\"");
            }
            if (entry.status < 100 || entry.status > 999) throw BadField("a status lies from 100 to 999");
            list.push_back(entry);
        }
        f.pathStatus = std::move(list);
    } else if (key == "delayMs") {
        f.delayMs = Unsigned<std::uint32_t>(value, key);
    } else if (key == "stall") {
        f.stall = Bool(value, key);
    } else if (key == "cutAfterBytes") {
        if (value.is_null()) f.cutAfterBytes.reset();
        else f.cutAfterBytes = Unsigned<std::uint32_t>(value, key);
    } else if (key == "garbage") {
        f.garbage = Bool(value, key);
    } else if (key == "padding") {
        if (!ParseValuePadding(Text(value, key), f.padding)) {
            throw BadField("\"padding\" is \"none\", \"zeros\" or \"blanks\"");
        }
    } else if (key == "onlyPaths") {
        if (!value.is_array()) throw BadField("\"onlyPaths\" needs an array of strings");
        std::vector<std::string> paths;
        for (const json& item : value) paths.push_back(Text(item, key));
        f.onlyPaths = std::move(paths);
    } else {
        throw BadField("unknown fault \"" + key + "\"");
    }
}

void ApplyStreamFault(StreamFaults& f, const std::string& key, const json& value) {
    if (key == "stallAfterFrames") {
        f.stallAfterFrames = Unsigned<std::uint32_t>(value, key);
    } else if (key == "closeAfterFrames") {
        f.closeAfterFrames = Unsigned<std::uint32_t>(value, key);
    } else if (key == "closeAfterBytes") {
        f.closeAfterBytes = Unsigned<std::uint64_t>(value, key);
    } else if (key == "chunkSizes") {
        if (!value.is_array()) throw BadField("\"chunkSizes\" needs an array of numbers");
        std::vector<std::uint32_t> sizes;
        for (const json& item : value) {
            const auto size = Unsigned<std::uint32_t>(item, key);
            if (size == 0) throw BadField("\"chunkSizes\" entries are above 0");
            sizes.push_back(size);
        }
        f.chunkSizes = std::move(sizes);
    } else if (key == "garbageBetweenFrames") {
        f.garbageBetweenFrames = Bool(value, key);
    } else if (key == "wrongLengthEvery") {
        f.wrongLengthEvery = Unsigned<std::uint32_t>(value, key);
    } else if (key == "refuseFirstConnections") {
        f.refuseFirstConnections = Unsigned<std::uint32_t>(value, key);
    } else {
        throw BadField("unknown stream fault \"" + key + "\"");
    }
}

// ---- requests -------------------------------------------------------------

// Request targets are whatever clients sent: bytes that are not UTF-8 are
// replaced rather than failing the whole reply.
std::string Dump(const json& value) { return value.dump(2, ' ', false, json::error_handler_t::replace); }

ControlReply Reply(unsigned status, const json& body) { return {status, Dump(body) + "\n"}; }

ControlReply ErrorReply(unsigned status, const std::string& message) {
    return Reply(status, json{{"error", message}});
}

std::optional<std::uint32_t> Argument(const std::map<std::string, std::string>& args, const std::string& name) {
    auto found = args.find(name);
    if (found == args.end() || found->second.empty()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    const std::string& text = found->second;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::string FaultsToJson(const Faults& faults) { return Dump(ToJson(faults)); }

bool ApplyFaultsJson(std::string_view json, Faults& faults, std::string* error) {
    Faults next = faults;
    if (!ApplyObject(json, error, [&](const std::string& key, const nlohmann::json& value) {
            ApplyFault(next, key, value);
        })) {
        return false;
    }
    faults = std::move(next);
    return true;
}

std::string StreamFaultsToJson(const StreamFaults& faults) { return Dump(ToJson(faults)); }

bool ApplyStreamFaultsJson(std::string_view json, StreamFaults& faults, std::string* error) {
    StreamFaults next = faults;
    if (!ApplyObject(json, error, [&](const std::string& key, const nlohmann::json& value) {
            ApplyStreamFault(next, key, value);
        })) {
        return false;
    }
    faults = std::move(next);
    return true;
}

ControlReply HandleControl(Simulator& sim, std::string_view method, std::string_view rawPath,
                           const std::map<std::string, std::string>& args, std::string_view body) {
    std::string path(rawPath);
    while (!path.empty() && path.back() == '/') path.pop_back();
    const bool get = method == "GET" || method == "HEAD";
    const bool post = method == "POST";
    if (!get && !post) {
        return ErrorReply(405, "use GET to read and POST to change");
    }

    struct Reader {
        const char* path;
        json (*read)(Simulator&);
    };
    static const Reader kReaders[] = {
        {"", State},           {"state", State},   {"inputs", Inputs}, {"outputs", Outputs},
        {"encoder", Encoder},  {"ptz", Ptz},       {"log", Log},       {"streams", Streams},
        {"faults", [](Simulator& s) { return ToJson(s.GetFaults()); }},
        {"stream-faults", [](Simulator& s) { return ToJson(s.GetStreamFaults()); }},
    };
    for (const Reader& reader : kReaders) {
        if (path == reader.path) {
            if (get) return Reply(200, reader.read(sim));
            if (path != "faults" && path != "stream-faults") {
                return ErrorReply(405, "\"" + path + "\" is read with GET");
            }
        }
    }
    if (!post) {
        static const char* const kChanges[] = {"inputs/set", "inputs/flip", "outputs/clear",
                                               "log/clear",  "faults/clear", "stream-faults/clear"};
        for (const char* change : kChanges) {
            if (path == change) return ErrorReply(405, "\"" + path + "\" is done with POST");
        }
        return ErrorReply(404, "no such control \"" + path + "\"");
    }

    if (path == "inputs/set" || path == "inputs/flip") {
        const auto input = Argument(args, "input");
        if (!input) return ErrorReply(400, "give the input number (from 0) as ?input=N");
        bool ok = false;
        if (path == "inputs/flip") {
            ok = sim.FlipInput(*input);
        } else {
            const auto active = Argument(args, "active");
            if (!active || *active > 1) return ErrorReply(400, "give ?active=0 or ?active=1");
            ok = sim.SetInput(*input, *active == 1);
        }
        if (!ok) return ErrorReply(404, "no input " + std::to_string(*input));
        return Reply(200, Inputs(sim));
    }
    if (path == "outputs/clear") {
        sim.ClearOutputWrites();
        return Reply(200, Outputs(sim));
    }
    if (path == "log/clear") {
        sim.ClearRequestLog();
        return Reply(200, json::array());
    }
    if (path == "faults" || path == "faults/clear") {
        Faults faults = path == "faults" ? sim.GetFaults() : Faults{};
        std::string error;
        if (path == "faults" && !ApplyFaultsJson(body.empty() ? "{}" : body, faults, &error)) {
            return ErrorReply(400, error);
        }
        sim.SetFaults(faults);
        return Reply(200, ToJson(sim.GetFaults()));
    }
    if (path == "stream-faults" || path == "stream-faults/clear") {
        StreamFaults faults = path == "stream-faults" ? sim.GetStreamFaults() : StreamFaults{};
        std::string error;
        if (path == "stream-faults" && !ApplyStreamFaultsJson(body.empty() ? "{}" : body, faults, &error)) {
            return ErrorReply(400, error);
        }
        sim.SetStreamFaults(faults);
        return Reply(200, ToJson(sim.GetStreamFaults()));
    }
    return ErrorReply(404, "no such control \"" + path + "\"");
}

}  // namespace darvik::camsim
