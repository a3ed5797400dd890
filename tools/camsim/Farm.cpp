#include "Farm.h"

#include <microhttpd.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace darvik::camsim {

namespace {

ControlReply Reply(unsigned status, const Json& body) { return {status, Dump(body) + "\n"}; }

ControlReply ErrorReply(unsigned status, const std::string& message) {
    return Reply(status, Json{{"error", message}});
}

// Writes `text` to a new file of its own; its name, or "" when it fails.
std::string WriteTempFile(const std::string& text) {
    char name[] = "/tmp/darvik-camsim-farm-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) return "";
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    close(fd);
    if (written != text.size()) {
        std::remove(name);
        return "";
    }
    return name;
}

}  // namespace

Farm::Entry::~Entry() {
    simulator.reset();
    for (const std::string& file : files) std::remove(file.c_str());
}

// Stream scripts carry whole stream bodies as hexadecimal text.
Farm::Farm()
    : m_endpoint{[this](std::string_view method, std::string_view url, const std::map<std::string, std::string>& args,
                        std::string_view body) { return Handle(method, url, args, body); },
                 64 * 1024 * 1024} {}

Farm::~Farm() { Stop(); }

bool Farm::Start(std::uint16_t port, std::string* error) {
    m_daemon = StartJsonServer(port, m_endpoint, m_port, error);
    return m_daemon != nullptr;
}

void Farm::Stop() {
    if (m_daemon != nullptr) {
        MHD_stop_daemon(m_daemon);
        m_daemon = nullptr;
        m_port = 0;
    }
    m_simulators.clear();
}

std::string Farm::Url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

Json Farm::Describe(std::uint64_t id, const Simulator& simulator) {
    return {{"id", id},
            {"running", simulator.IsRunning()},
            {"port", simulator.Port()},
            {"controlPort", simulator.ControlPort()},
            {"url", simulator.Url()}};
}

// Body: {"config": {...}, "httpsCertPem": "...", "httpsKeyPem": "...",
// "streamScript": {...}}, every member optional. The PEM texts are written to
// files of the farm's own, for a client whose files this process cannot read.
ControlReply Farm::Create(std::string_view body) {
    auto entry = std::make_unique<Entry>();
    Config config;
    std::optional<StreamScript> script;
    try {
        const Json request = Json::parse(body.empty() ? "{}" : body);
        if (!request.is_object()) throw BadField("a JSON object is needed");
        for (const auto& [key, value] : request.items()) {
            if (key == "config") {
                ApplyJson(value, config);
            } else if (key == "streamScript") {
                ApplyJson(value, script.emplace());
            } else if (key == "httpsCertPem" || key == "httpsKeyPem") {
                if (!value.is_string()) throw BadField("\"" + key + "\" needs a string");
                const std::string file = WriteTempFile(value.get<std::string>());
                if (file.empty()) return ErrorReply(500, "cannot write the PEM text to a file");
                entry->files.push_back(file);
                (key == "httpsCertPem" ? config.httpsCertFile : config.httpsKeyFile) = file;
            } else {
                throw BadField("unknown member \"" + key + "\"");
            }
        }
    } catch (const std::exception& e) {
        return ErrorReply(400, e.what());
    }
    entry->simulator = std::make_unique<Simulator>(std::move(config));
    if (script) entry->simulator->SetStreamScript(std::move(script));
    std::string error;
    if (!entry->simulator->Start(&error)) {
        return ErrorReply(409, error);
    }
    const std::uint64_t id = m_nextId++;
    const Json description = Describe(id, *entry->simulator);
    m_simulators.emplace(id, std::move(entry));
    return Reply(201, description);
}

// "/" lists the simulators; "/simulators" (POST) creates one; under
// "/simulators/ID": GET describes it, DELETE deletes it, POST "start" and
// "stop" start and stop it, and "control/..." is its control interface.
ControlReply Farm::Handle(std::string_view method, std::string_view url,
                          const std::map<std::string, std::string>& args, std::string_view body) {
    if (url == "/" || url.empty()) {
        if (method != "GET") return ErrorReply(405, "the list is read with GET");
        Json list = Json::array();
        for (const auto& [id, entry] : m_simulators) list.push_back(Describe(id, *entry->simulator));
        return Reply(200, Json{{"simulators", list}});
    }
    if (url == "/simulators") {
        if (method != "POST") return ErrorReply(405, "simulators are created with POST");
        return Create(body);
    }
    if (!url.starts_with("/simulators/")) return ErrorReply(404, "no such path");
    url.remove_prefix(12);
    const std::string_view idText = url.substr(0, url.find('/'));
    std::uint64_t id = 0;
    const auto [end, ec] = std::from_chars(idText.data(), idText.data() + idText.size(), id);
    auto found = m_simulators.end();
    if (ec == std::errc() && end == idText.data() + idText.size()) found = m_simulators.find(id);
    if (found == m_simulators.end()) return ErrorReply(404, "no simulator " + std::string(idText));
    Simulator& simulator = *found->second->simulator;
    const std::string_view rest = url.substr(idText.size());

    if (rest.empty() || rest == "/") {
        if (method == "GET") return Reply(200, Describe(id, simulator));
        if (method != "DELETE") return ErrorReply(405, "a simulator is read with GET and deleted with DELETE");
        m_simulators.erase(found);
        return Reply(200, Json::object());
    }
    if (rest == "/start" || rest == "/stop") {
        if (method != "POST") return ErrorReply(405, "\"" + std::string(rest.substr(1)) + "\" is done with POST");
        if (rest == "/stop") {
            simulator.Stop();
        } else if (std::string error; !simulator.IsRunning() && !simulator.Start(&error)) {
            return ErrorReply(409, error);
        }
        return Reply(200, Describe(id, simulator));
    }
    if (rest == "/control" || rest.starts_with("/control/")) {
        return HandleControl(simulator, method, rest.substr(std::min<std::size_t>(rest.size(), 9)), args, body);
    }
    return ErrorReply(404, "no such path");
}

}  // namespace darvik::camsim
