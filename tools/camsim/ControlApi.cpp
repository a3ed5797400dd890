#include "ControlApi.h"

#include <charconv>
#include <optional>

namespace darvik::camsim {

namespace {

using json = Json;

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

json Encoder(Simulator& sim) { return ToJson(sim.Encoder()); }

json Ptz(Simulator& sim) {
    json ptz = ToJson(sim.Head());
    json presets = json::array();
    for (const auto& [number, position] : sim.Presets()) {
        json entry = ToJson(position);
        entry["number"] = number;
        presets.push_back(entry);
    }
    ptz["presets"] = presets;
    return ptz;
}

json Log(Simulator& sim) {
    json entries = json::array();
    for (const RequestLogEntry& e : sim.RequestLog()) {
        entries.push_back(ToJson(e));
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

// ---- requests -------------------------------------------------------------

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

// A POST to `path`: an input set or flipped, a log cleared, faults or a
// stream script set or cleared.
ControlReply HandleChange(Simulator& sim, const std::string& path, const std::map<std::string, std::string>& args,
                          std::string_view body) {
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
    if (path == "stream-script" || path == "stream-script/clear") {
        std::optional<StreamScript> script;
        if (path == "stream-script") {
            script.emplace();
            try {
                ApplyJson(json::parse(body.empty() ? "{}" : body), *script);
            } catch (const std::exception& e) {
                return ErrorReply(400, e.what());
            }
        }
        sim.SetStreamScript(std::move(script));
        return Reply(200, json::object());
    }
    return ErrorReply(404, "no such control \"" + path + "\"");
}

}  // namespace

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
        static const char* const kChanges[] = {"inputs/set",          "inputs/flip",   "outputs/clear",
                                               "log/clear",           "faults/clear",  "stream-faults/clear",
                                               "stream-script",       "stream-script/clear"};
        for (const char* change : kChanges) {
            if (path == change) return ErrorReply(405, "\"" + path + "\" is done with POST");
        }
        return ErrorReply(404, "no such control \"" + path + "\"");
    }

    return HandleChange(sim, path, args, body);
}

}  // namespace darvik::camsim
