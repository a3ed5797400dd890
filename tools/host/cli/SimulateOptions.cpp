#include "cli/SimulateOptions.h"

#include <cstdio>
#include <exception>
#include <sstream>

#include <CLI/CLI.hpp>

namespace darvik::cli {
namespace {

bool ParseToggle(const std::string& text, camsim::InputToggle& toggle) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    try {
        std::size_t used = 0;
        const unsigned long input = std::stoul(text.substr(0, colon), &used);
        if (used != colon) {
            return false;
        }
        const std::string period = text.substr(colon + 1);
        const double seconds = std::stod(period, &used);
        if (used != period.size() || !(seconds >= 0.001) || seconds > 86400.0) {
            return false;
        }
        toggle.input = static_cast<std::uint32_t>(input);
        toggle.periodMs = static_cast<std::uint32_t>(seconds * 1000.0 + 0.5);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// The MAC address of simulated camera `index`: the first one with its last
// byte counted up. The first camera's is taken as given.
std::string SimulatedMac(const std::string& first, unsigned index) {
    const auto dash = first.rfind('-');
    if (index == 0 || dash == std::string::npos) {
        return first;
    }
    unsigned last = 0;
    try {
        last = static_cast<unsigned>(std::stoul(first.substr(dash + 1), nullptr, 16));
    } catch (const std::exception&) {
        return first;
    }
    char text[4];
    std::snprintf(text, sizeof(text), "%02X", (last + index) & 0xFF);
    return first.substr(0, dash + 1) + text;
}

// Text for a terminal line: bytes outside printable ASCII (a product id may
// be any bytes) as \xHH.
std::string Printable(const std::string& text) {
    std::string shown;
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            shown.push_back(ch);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", byte);
            shown += escaped;
        }
    }
    return shown;
}

}  // namespace

bool Given(const CLI::Option* option) { return option != nullptr && option->count() != 0; }

void AddSimulateOptions(CLI::App& command, SimulateOptions& options, SimulatedCameras cameras) {
    if (cameras == SimulatedCameras::kOne) {
        options.userOption = command.get_option_no_throw("--user");
        options.passwordOption = command.get_option_no_throw("--password");
        CLI::Option* simulate = command.add_flag_callback(
            "--simulate", [&options] { options.count = 1; },
            "Start a camera simulator on 127.0.0.1 and use it instead of --camera"
#if defined(_WIN32)
            " (Linux only: on Windows it needs a simulator farm of a Linux build, named by DARVIK_CAMSIM_FARM)"
#endif
        );
        if (CLI::Option* camera = command.get_option_no_throw("--camera"); camera != nullptr) {
            simulate->excludes(camera);
        }
    } else {
        command.add_option("--simulate", options.count, "Start N simulated cameras in this process")
            ->expected(0, 1)
            ->default_str("1");
    }

    auto* group = command.add_option_group("Simulated camera", "With --simulate: the simulator's camera");
    options.standardOption = group->add_option("--sim-standard", options.standard, "Video standard")
                                 ->check(CLI::IsMember({"pal", "ntsc"}))
                                 ->capture_default_str();
    group->add_option("--sim-product-id", options.productId, "Product id (s_prid); any bytes")
        ->capture_default_str();
    options.inputsOption = group->add_option("--sim-inputs", options.inputs, "Alarm inputs")
                               ->check(CLI::Range(0, 256))
                               ->capture_default_str();
    group->add_option("--sim-claimed-inputs", options.claimedInputs,
                      "Inputs the camera claims (a_snum) instead of --sim-inputs, e.g. 2147483647");
    options.outputsOption = group->add_option("--sim-outputs", options.outputs, "Relay outputs")
                                ->check(CLI::Range(0, 256))
                                ->capture_default_str();
    group->add_option("--sim-audio", options.audio, "Audio type (a_type; 0: no audio)")->capture_default_str();
    group->add_option("--sim-auth", options.auth, "Authentication the simulator asks for")
        ->check(CLI::IsMember({"none", "basic", "digest", "basic+digest", "digest-sha256", "digest-sha256+md5",
                               "digest-md5-sess", "digest-userhash"}))
        ->capture_default_str();
    group->add_option("--sim-user", options.user, "User name the simulator accepts")->capture_default_str();
    group->add_option("--sim-password", options.password, "Password the simulator accepts")
        ->capture_default_str();
    group
        ->add_option("--sim-mac", options.mac,
                     "MAC address text (n_madr; names the preset file); with --simulate N the next cameras "
                     "count its last byte up")
        ->capture_default_str();
    group->add_option("--sim-toggle", options.toggles, "INPUT:SECONDS - alarm input (from 0) toggles every SECONDS");
}

bool StartSimulator(const SimulateOptions& options, unsigned index, host::CameraOptions& camera,
                    std::unique_ptr<camsim::Simulator>& simulator, std::string& error) {
    camsim::Config config;
    config.ntsc = options.standard == "ntsc";
    config.productId = options.productId;
    config.inputCount = options.inputs;
    config.claimedInputs = options.claimedInputs;
    config.outputCount = options.outputs;
    config.audioType = options.audio;
    config.macAddress = SimulatedMac(options.mac, index);
    if (options.framesPerSecond != 0) {
        config.jpegFramesPerSecond = options.framesPerSecond;
    }
    if (!camsim::ParseAuthMode(options.auth, config.auth)) {
        error = "unknown authentication \"" + options.auth + "\"";
        return false;
    }
    config.user = options.user;
    config.password = options.password;
    for (const std::string& text : options.toggles) {
        camsim::InputToggle toggle;
        if (!ParseToggle(text, toggle)) {
            error = "--sim-toggle wants INPUT:SECONDS, not \"" + text + "\"";
            return false;
        }
        config.inputScript.push_back(toggle);
    }
    simulator = std::make_unique<camsim::Simulator>(config);
    if (!simulator->Start(&error)) {
        simulator.reset();
        return false;
    }
    camera.host = "127.0.0.1";
    camera.port = simulator->Port();
    camera.camera = camera.host + ":" + std::to_string(camera.port);
    if (!Given(options.userOption)) {
        camera.user = options.user;
    }
    if (!Given(options.passwordOption)) {
        camera.password = options.password;
    }
    return true;
}

std::string DescribeSimulator(const camsim::Simulator& simulator) {
    const camsim::Config& config = simulator.GetConfig();
    std::ostringstream text;
    text << "camera " << simulator.Url();
    if (simulator.ControlPort() != 0) {
        text << ", control " << simulator.ControlUrl();
    }
    text << ", MAC address " << Printable(config.macAddress) << " (product " << Printable(config.productId) << ", "
         << (config.ntsc ? "NTSC" : "PAL") << ", " << config.inputCount << " inputs, " << config.outputCount
         << " outputs, audio " << config.audioType << ", auth " << camsim::ToString(config.auth) << ")";
    return text.str();
}

}  // namespace darvik::cli
