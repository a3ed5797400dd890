// The Windows Simulator: a simulator made and driven in a farm on the Linux
// side (darvik-camsim --farm, named by DARVIK_CAMSIM_FARM) over HTTP. The
// farm's simulators listen on 127.0.0.1 of the same machine, so the camera
// port handed out here is the one a Windows client connects to. Start
// creates the farm's simulator (and starts it again after Stop, its state
// kept), the destructor deletes it; every other method is one control
// request. A method that cannot reach the farm writes why to stderr and
// answers as an empty camera would.
#include <fstream>
#include <iostream>
#include <sstream>

#include "FarmConnection.h"
#include "Json.h"
#include "Simulator.h"

namespace darvik::camsim {

struct Simulator::Impl {
    Config config;
    std::optional<StreamScript> script;  // sent when the farm's simulator is made
    // Written by Start and Stop only (the owner's thread), like the Linux
    // simulator's ports.
    std::uint64_t id = 0;  // the farm's number for it; 0: not made yet
    bool running = false;
    std::uint16_t port = 0;
    std::uint16_t controlPort = 0;

    std::string Path(const std::string& rest = "") const { return "/simulators/" + std::to_string(id) + rest; }

    // Applies the farm's description of the simulator; false with a reason
    // for any other reply.
    bool Take(const FarmReply& reply, std::string* error) {
        try {
            const Json body = Json::parse(reply.body);
            if (reply.status / 100 == 2) {
                id = body.at("id").get<std::uint64_t>();
                running = body.at("running").get<bool>();
                port = body.at("port").get<std::uint16_t>();
                controlPort = body.at("controlPort").get<std::uint16_t>();
                return true;
            }
            if (error != nullptr) *error = "simulator farm: " + body.value("error", reply.body);
        } catch (const std::exception&) {
            if (error != nullptr) {
                *error = "simulator farm: " + (reply.status == 0 ? reply.error : "unreadable reply: " + reply.body);
            }
        }
        return false;
    }

    // One control request; null when the simulator was never made or the
    // farm does not answer with success.
    Json Control(const std::string& method, const std::string& path, const std::string& body = "") const {
        if (id == 0) return nullptr;
        const FarmReply reply = FarmRequest(method, Path("/control/" + path), body);
        if (reply.status == 200) {
            try {
                return Json::parse(reply.body);
            } catch (const std::exception&) {
            }
        }
        std::cerr << "darvik_camsim: " << method << " " << path << " through the simulator farm failed: "
                  << (reply.status == 0 ? reply.error : std::to_string(reply.status) + " " + reply.body) << "\n";
        return nullptr;
    }

    Json Read(const std::string& path) const { return Control("GET", path); }
};

namespace {

bool ReadFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return in.good() || in.eof();
}

template <typename T>
T Field(const Json& json, const char* key, T otherwise) {
    return json.is_object() && json.contains(key) ? json.at(key).get<T>() : otherwise;
}

}  // namespace

Simulator::Simulator(Config config) : m_impl(std::make_unique<Impl>()) { m_impl->config = std::move(config); }

Simulator::~Simulator() {
    if (m_impl->id != 0) FarmRequest("DELETE", m_impl->Path());
}

bool Simulator::Start(std::string* error) {
    if (m_impl->running) {
        if (error != nullptr) *error = "the simulator is already running";
        return false;
    }
    if (m_impl->id != 0) return m_impl->Take(FarmRequest("POST", m_impl->Path("/start")), error);

    // The PEM files are read here: the farm may not see this side's paths.
    const Config& c = m_impl->config;
    Json request{{"config", ToJson(c)}};
    request["config"].erase("httpsCertFile");
    request["config"].erase("httpsKeyFile");
    for (const auto& [file, key] : {std::pair{c.httpsCertFile, "httpsCertPem"}, {c.httpsKeyFile, "httpsKeyPem"}}) {
        std::string pem;
        if (file.empty()) continue;
        if (!ReadFile(file, pem)) {
            if (error != nullptr) *error = "cannot read the PEM file " + file;
            return false;
        }
        request[key] = pem;
    }
    if (m_impl->script) request["streamScript"] = ToJson(*m_impl->script);
    return m_impl->Take(FarmRequest("POST", "/simulators", Dump(request)), error);
}

void Simulator::Stop() {
    if (m_impl->id != 0 && m_impl->running) {
        m_impl->Take(FarmRequest("POST", m_impl->Path("/stop")), nullptr);
        m_impl->running = false;
        m_impl->port = 0;
        m_impl->controlPort = 0;
    }
}

bool Simulator::IsRunning() const { return m_impl->running; }
std::uint16_t Simulator::Port() const { return m_impl->port; }
std::uint16_t Simulator::ControlPort() const { return m_impl->controlPort; }

std::string Simulator::Url() const {
    const bool https = !m_impl->config.httpsCertFile.empty() && !m_impl->config.httpsKeyFile.empty();
    return std::string(https ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_impl->port);
}

std::string Simulator::ControlUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_impl->controlPort) + "/control/";
}

const Config& Simulator::GetConfig() const { return m_impl->config; }

std::string Simulator::InputStatus() const { return Field<std::string>(m_impl->Read("inputs"), "s_ssta", ""); }

bool Simulator::SetInput(std::uint32_t index, bool active) {
    return !m_impl->Control("POST", "inputs/set?input=" + std::to_string(index) + "&active=" + (active ? "1" : "0"))
                .is_null();
}

bool Simulator::FlipInput(std::uint32_t index) {
    return !m_impl->Control("POST", "inputs/flip?input=" + std::to_string(index)).is_null();
}

std::vector<int> Simulator::Outputs() const {
    return Field<std::vector<int>>(m_impl->Read("outputs"), "values", {});
}

std::vector<OutputWrite> Simulator::OutputWrites() const {
    std::vector<OutputWrite> writes;
    for (const Json& w : Field<Json>(m_impl->Read("outputs"), "writes", Json::array())) {
        writes.push_back({w.at("output").get<std::uint32_t>(), w.at("value").get<int>()});
    }
    return writes;
}

void Simulator::ClearOutputWrites() { m_impl->Control("POST", "outputs/clear"); }

Faults Simulator::GetFaults() const {
    if (m_impl->id == 0) return m_impl->config.faults;
    Faults faults;
    const Json json = m_impl->Read("faults");
    if (json.is_object()) ApplyJson(json, faults);
    return faults;
}

void Simulator::SetFaults(const Faults& faults) {
    if (m_impl->id == 0) m_impl->config.faults = faults;
    else m_impl->Control("POST", "faults", FaultsToJson(faults));
}

StreamFaults Simulator::GetStreamFaults() const {
    if (m_impl->id == 0) return m_impl->config.streamFaults;
    StreamFaults faults;
    const Json json = m_impl->Read("stream-faults");
    if (json.is_object()) ApplyJson(json, faults);
    return faults;
}

void Simulator::SetStreamFaults(const StreamFaults& faults) {
    if (m_impl->id == 0) m_impl->config.streamFaults = faults;
    else m_impl->Control("POST", "stream-faults", StreamFaultsToJson(faults));
}

std::uint64_t Simulator::RefusedConnections() const {
    return Field<std::uint64_t>(m_impl->Read("state"), "refusedConnections", 0);
}

HeadState Simulator::Head() const {
    const Json ptz = m_impl->Read("ptz");
    return ptz.is_object() ? HeadFromJson(ptz) : HeadState{};
}

std::map<int, HeadPosition> Simulator::Presets() const {
    std::map<int, HeadPosition> presets;
    for (const Json& p : Field<Json>(m_impl->Read("ptz"), "presets", Json::array())) {
        presets[p.at("number").get<int>()] = HeadPositionFromJson(p);
    }
    return presets;
}

std::vector<RequestLogEntry> Simulator::RequestLog() const {
    std::vector<RequestLogEntry> log;
    const Json entries = m_impl->Read("log");
    if (entries.is_array()) {
        for (const Json& entry : entries) log.push_back(LogEntryFromJson(entry));
    }
    return log;
}

void Simulator::ClearRequestLog() { m_impl->Control("POST", "log/clear"); }

EncoderState Simulator::Encoder() const {
    const Json encoder = m_impl->Read("encoder");
    return encoder.is_object() ? EncoderFromJson(encoder) : EncoderState{};
}

void Simulator::SetStreamScript(std::optional<StreamScript> script) {
    if (m_impl->id == 0) m_impl->script = std::move(script);
    else if (script) m_impl->Control("POST", "stream-script", Dump(ToJson(*script)));
    else m_impl->Control("POST", "stream-script/clear");
}

std::uint32_t Simulator::ActiveStreams() const {
    return Field<std::uint32_t>(m_impl->Read("streams"), "active", 0);
}

std::uint64_t Simulator::StreamFramesProduced() const {
    return Field<std::uint64_t>(m_impl->Read("streams"), "frames", 0);
}

}  // namespace darvik::camsim
