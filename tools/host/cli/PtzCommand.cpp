// darvik-host ptz: opens a driver for a camera (or for a simulated camera
// started in this process), takes the PTZ interface of channel 0 and runs a
// sequence of PTZ and preset commands on it, printing each status code by
// name, where the preset file lives, and, for a simulated camera, where the
// head stands.
//
//   darvik-host ptz --simulate move left 8 --for 1s stop preset add Door preset list
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>

#include "camsim/Simulator.h"
#include "cli/Cli.h"
#include "cli/SimulateOptions.h"
#include "darvik/IIPPTZ.h"
#include "kit/CameraOptions.h"
#include "kit/HostDriver.h"
#include "kit/HostSystem.h"
#include "kit/Vocabulary.h"

namespace darvik::cli {
namespace {

using brevane::IIPPTZApi;

struct PtzOptions {
    host::CameraOptions camera;
    SimulateOptions sim;
    bool showLog = false;
};

std::optional<std::int32_t> ParseNumber(const std::string& text) {
    try {
        std::size_t used = 0;
        const long value = std::stol(text, &used);
        if (used == text.size() && value >= INT32_MIN && value <= INT32_MAX) {
            return static_cast<std::int32_t>(value);
        }
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

std::optional<std::int32_t> ParseDirection(const std::string& text) {
    if (const auto code = host::DirectionCode(text)) {
        return code;
    }
    return ParseNumber(text);  // raw direction codes, for trying the module's checks
}

// "1s", "1.5s", "500ms" or plain seconds.
std::optional<std::chrono::milliseconds> ParseDuration(const std::string& text) {
    double factor = 1000.0;
    std::string number = text;
    if (number.size() > 2 && number.compare(number.size() - 2, 2, "ms") == 0) {
        factor = 1.0;
        number.resize(number.size() - 2);
    } else if (number.size() > 1 && number.back() == 's') {
        number.pop_back();
    }
    try {
        std::size_t used = 0;
        const double value = std::stod(number, &used);
        if (used == number.size() && value >= 0 && value <= 3600) {
            return std::chrono::milliseconds(static_cast<long>(value * factor));
        }
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

// The camera's MAC address text (n_madr of "/cgi-bin/get?net"), as the
// module reads it to name the preset file; empty when unknown.
std::string FetchMacAddress(const host::CameraOptions& camera) {
    std::string reply;
    if (!host::HttpGet(camera.host, camera.port, "/cgi-bin/get?net", camera.user, camera.password,
                       &reply)) {
        return {};
    }
    std::istringstream lines(reply);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind("n_madr:", 0) == 0) {
            return line.substr(7);
        }
    }
    return {};
}

std::filesystem::path HostDirectory() { return std::filesystem::path(host::ExecutableDirectory()); }

// Drives one IIPPTZApi through the command words, in order.
class PtzSession {
   public:
    PtzSession(IIPPTZApi& api, camsim::Simulator* simulator) : m_api(api), m_simulator(simulator) {}

    // Runs every command; false when a command was not understood.
    bool Run(const std::vector<std::string>& words) {
        m_words = words;
        m_next = 0;
        while (m_next < m_words.size()) {
            const std::size_t logBefore = m_simulator ? m_simulator->RequestLog().size() : 0;
            const std::string word = m_words[m_next++];
            std::optional<std::int32_t> status;
            bool touchesHead = true;
            if (word == "move") {
                status = Move();
            } else if (word == "zoom") {
                status = Zoom();
            } else if (word == "focus") {
                status = TwoWay("focus", "near", "far", [&](bool first) { return first ? m_api.FocusNear(1)
                                                                                        : m_api.FocusFar(1); });
            } else if (word == "iris") {
                status = TwoWay("iris", "open", "close", [&](bool first) { return first ? m_api.IrisOpen(1)
                                                                                        : m_api.IrisClose(1); });
            } else if (word == "stop") {
                status = Report("stop", m_api.StopAll());
            } else if (word == "preset") {
                status = Preset(touchesHead);
            } else if (word == "caps") {
                touchesHead = false;
                status = Capabilities();
            } else if (word == "--for") {
                touchesHead = false;
                if (!Wait()) {
                    return false;
                }
                status = brevane::PTZ_OK;
            } else {
                std::cerr << "darvik-host ptz: unknown command \"" << word << "\"\n";
                return false;
            }
            if (!status) {
                return false;  // the command's arguments were wrong; already reported
            }
            if (touchesHead && m_simulator != nullptr && *status == brevane::PTZ_OK) {
                ShowHead(logBefore);
            }
        }
        return true;
    }

    bool AllSucceeded() const { return m_allSucceeded; }

   private:
    std::optional<std::string> Argument(const char* command, const char* what) {
        if (m_next >= m_words.size()) {
            std::cerr << "darvik-host ptz: " << command << " needs " << what << "\n";
            return std::nullopt;
        }
        return m_words[m_next++];
    }

    std::optional<std::int32_t> Report(const std::string& command, std::int32_t status) {
        std::cout << command << ": " << host::PtzStatusName(status) << " (" << status << ")\n";
        m_allSucceeded = m_allSucceeded && status == brevane::PTZ_OK;
        return status;
    }

    std::optional<std::int32_t> Move() {
        const auto direction = Argument("move", "a direction and a speed");
        const auto speed = direction ? Argument("move", "a speed") : std::nullopt;
        if (!speed) {
            return std::nullopt;
        }
        const auto code = ParseDirection(*direction);
        const auto value = ParseNumber(*speed);
        if (!code || !value) {
            std::cerr << "darvik-host ptz: move " << *direction << " " << *speed
                      << ": direction must be left, right, up, down, left-up, right-up, left-down, right-down, "
                         "zoom-in, zoom-out or a number; speed a number\n";
            return std::nullopt;
        }
        return Report("move " + *direction + " " + *speed, m_api.StartMove(*code, *value));
    }

    std::optional<std::int32_t> Zoom() {
        const auto way = Argument("zoom", "in or out and a speed");
        const auto speed = way ? Argument("zoom", "a speed") : std::nullopt;
        if (!speed) {
            return std::nullopt;
        }
        const auto value = ParseNumber(*speed);
        if ((*way != "in" && *way != "out") || !value) {
            std::cerr << "darvik-host ptz: zoom " << *way << " " << *speed << ": expected zoom in|out SPEED\n";
            return std::nullopt;
        }
        return Report("zoom " + *way + " " + *speed, *way == "in" ? m_api.ZoomIn(*value) : m_api.ZoomOut(*value));
    }

    template <class Call>
    std::optional<std::int32_t> TwoWay(const char* command, const char* first, const char* second, Call call) {
        const auto way = Argument(command, "a direction");
        if (!way) {
            return std::nullopt;
        }
        if (*way != first && *way != second) {
            std::cerr << "darvik-host ptz: " << command << " " << *way << ": expected " << first << " or " << second
                      << "\n";
            return std::nullopt;
        }
        return Report(std::string(command) + " " + *way, call(*way == first));
    }

    std::optional<std::int32_t> Preset(bool& touchesHead) {
        const auto action = Argument("preset", "add, list, goto or remove");
        if (!action) {
            return std::nullopt;
        }
        if (*action == "list") {
            touchesHead = false;
            return List();
        }
        if (*action != "add" && *action != "goto" && *action != "remove") {
            std::cerr << "darvik-host ptz: preset " << *action << ": expected add, list, goto or remove\n";
            return std::nullopt;
        }
        const auto name = Argument("preset", "a name");
        if (!name) {
            return std::nullopt;
        }
        const std::string label = "preset " + *action + " " + *name;
        if (*action == "add") {
            touchesHead = false;
            return Report(label, m_api.AddPreposition(name->c_str()));
        }
        if (*action == "remove") {
            touchesHead = false;
            return Report(label, m_api.RemovePreposition(name->c_str()));
        }
        return Report(label, m_api.GotoPreposition(0, name->c_str()));
    }

    std::optional<std::int32_t> List() {
        const std::int32_t count = m_api.GetPrepositionCount();
        std::string current;
        char buffer[1024];
        if (m_api.GetCurrentPreposition(buffer, sizeof(buffer)) == brevane::PTZ_OK) {
            current = buffer;
        }
        std::cout << "preset list: " << count << (count == 1 ? " preset" : " presets") << "\n";
        for (std::int32_t i = 0; i < count; ++i) {
            const std::int32_t status = m_api.GetPrepositionName(i, buffer, sizeof(buffer));
            if (status != brevane::PTZ_OK) {
                std::cout << "  " << i << ": " << host::PtzStatusName(status) << "\n";
                continue;
            }
            std::cout << "  " << i << ": " << buffer << (current == buffer ? "  (current)" : "") << "\n";
        }
        return brevane::PTZ_OK;
    }

    std::optional<std::int32_t> Capabilities() {
        std::int32_t record[brevane::kPtzCapabilityWords] = {};
        const auto status = Report("caps", m_api.GetCapabilities(record));
        if (*status == brevane::PTZ_OK) {
            std::cout << "  words:";
            for (const std::int32_t word : record) {
                std::cout << " " << word;
            }
            std::cout << "\n  presets: " << record[8] << " of " << record[7] << "\n";
        }
        return status;
    }

    bool Wait() {
        const auto text = Argument("--for", "a duration such as 1s or 500ms");
        if (!text) {
            return false;
        }
        const auto duration = ParseDuration(*text);
        if (!duration) {
            std::cerr << "darvik-host ptz: --for " << *text << ": expected a duration such as 1s or 500ms\n";
            return false;
        }
        std::cout << "waiting " << duration->count() << " ms\n";
        std::this_thread::sleep_for(*duration);
        return true;
    }

    // Movement is queued: waits until the simulator received the command,
    // then prints the head.
    void ShowHead(std::size_t logBefore) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (m_simulator->RequestLog().size() <= logBefore && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const camsim::HeadState head = m_simulator->Head();
        std::cout << std::fixed << std::setprecision(1) << "  simulated head: pan " << head.position.pan << " tilt "
                  << head.position.tilt << " zoom " << head.position.zoom << " focus " << head.position.focus
                  << " iris " << head.position.iris << " (moving:" << (head.pan.Active() ? " pan" : "")
                  << (head.tilt.Active() ? " tilt" : "") << (head.zoom.Active() ? " zoom" : "")
                  << (head.focus.Active() ? " focus" : "") << (head.iris.Active() ? " iris" : "")
                  << (head.pan.Active() || head.tilt.Active() || head.zoom.Active() || head.focus.Active() ||
                              head.iris.Active()
                          ? ""
                          : " nothing")
                  << ")\n";
        std::cout.unsetf(std::ios::floatfield);
    }

    IIPPTZApi& m_api;
    camsim::Simulator* m_simulator;
    std::vector<std::string> m_words;
    std::size_t m_next = 0;
    bool m_allSucceeded = true;
};

// Runs the commands on channel 0's PTZ interface of an open driver, saying
// which preset file the module keeps; the command's exit code.
int RunSession(IIPPTZApi& api, const PtzOptions& options, camsim::Simulator* simulator,
               const std::vector<std::string>& words) {
    const std::string mac = simulator != nullptr ? simulator->GetConfig().macAddress : FetchMacAddress(options.camera);
    std::string cleaned;
    for (const char ch : mac) {
        if (ch != '-') {
            cleaned.push_back(ch);
        }
    }
    const std::filesystem::path file = HostDirectory() / ("Darvik_" + cleaned + ".preset");
    std::cout << "preset file: " << (cleaned.empty() ? (HostDirectory() / "Darvik_<MAC>.preset") : file).string()
              << "\n";
    int exitCode = kExitFailed;
    PtzSession session(api, simulator);
    if (session.Run(words)) {
        exitCode = session.AllSucceeded() ? kExitOk : kExitFailed;
    }
    std::error_code ignored;
    if (!cleaned.empty()) {
        std::cout << "preset file " << (std::filesystem::exists(file, ignored) ? "exists" : "does not exist") << ": "
                  << file.string() << "\n";
    }
    return exitCode;
}

int RunPtz(const CliContext& context, PtzOptions& options, const std::vector<std::string>& words) {
    if (words.empty()) {
        std::cerr << "darvik-host ptz: no command given (see --help)\n";
        return kExitFailed;
    }
    std::unique_ptr<camsim::Simulator> simulator;
    std::string error;
    if (options.sim.Simulate()) {
        if (!StartSimulator(options.sim, 0, options.camera, simulator, error)) {
            std::cerr << "darvik-host ptz: simulator: " << error << "\n";
            return kExitFailed;
        }
        std::cout << "simulator: " << DescribeSimulator(*simulator) << "\n";
    } else if (!host::Resolve(options.camera, error)) {
        std::cerr << "darvik-host ptz: " << error << "\n";
        return kExitFailed;
    }
    host::HostDriver host;
    if (const int code = StartDriver("darvik-host ptz", context, options.camera, host); code != kExitOk) {
        return code;
    }
    host.Parameters().SetCustomParameter(1, "0");

    int exitCode = kExitFailed;
    if (!host.Open()) {
        std::cout << "open " << options.camera.host << ":" << options.camera.port << ": FAILED\n";
    } else if (brevane::IIPPTZDriver* ptz = host.Driver().GetPTZDriver(); ptz == nullptr) {
        std::cout << "the driver offers no PTZ\n";
    } else if (IIPPTZApi* api = ptz->GetPTZApi(0); api == nullptr) {
        std::cout << "channel 0 has no PTZ interface (the camera's MAC address could not be read; see the "
                     "message log)\n";
    } else {
        exitCode = RunSession(*api, options, simulator.get(), words);
    }
    host.Release();
    if (simulator) {
        simulator->Stop();
    }
    if (options.showLog || exitCode != kExitOk) {
        PrintMessageLog(std::cout, host.Messages());
    }
    return exitCode;
}

}  // namespace

void RegisterPtzCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<PtzOptions>();
    CLI::App* command = app.add_subcommand(
        "ptz",
        "Drive PTZ and presets of channel 0: move DIRECTION SPEED, zoom in|out SPEED, focus near|far, "
        "iris open|close, stop, preset add|goto|remove NAME, preset list, caps, --for DURATION");
    AddCameraOptions(*command, options->camera);
    AddSimulateOptions(*command, options->sim);
    // --mac, the name scripts have used for it, stays a second spelling of
    // --sim-mac.
    command->add_option("--mac", options->sim.mac, "With --simulate: the same as --sim-mac");
    command->add_flag("--log", options->showLog, "Print the module's message log also on success");
    command->footer(
        "Commands run in the order given, e.g.\n"
        "  darvik-host ptz --simulate move left 8 --for 1s stop preset add Door preset list\n"
        "DIRECTION: left right up down left-up right-up left-down right-down zoom-in zoom-out, or a code.\n"
        "The preset file Darvik_<MAC>.preset is kept beside darvik-host.");
    // The commands (and their --for pauses) are taken in order as given.
    command->allow_extras();
    command->callback([&context, options, command] {
        context.exitCode = RunPtz(context, *options, command->remaining());
    });
}

}  // namespace darvik::cli
