#include "cli/SimulateOptions.h"

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

}  // namespace

void AddSimulateOptions(CLI::App& command, SimulateOptions& options) {
    options.cameraOption = command.get_option("--camera");
    options.userOption = command.get_option("--user");
    options.passwordOption = command.get_option("--password");
    CLI::Option* simulate = command.add_flag(
        "--simulate", options.simulate,
        "Start a camera simulator on 127.0.0.1 and use it instead of --camera"
#if defined(_WIN32)
        " (Linux only: on Windows it needs a simulator farm of a Linux build, named by DARVIK_CAMSIM_FARM)"
#endif
    );
    simulate->excludes(options.cameraOption);

    auto* group = command.add_option_group("Simulated camera", "With --simulate: the simulator's camera");
    group->add_option("--sim-standard", options.standard, "Video standard")
        ->check(CLI::IsMember({"pal", "ntsc"}))
        ->capture_default_str();
    group->add_option("--sim-product-id", options.productId, "Product id (s_prid)")->capture_default_str();
    options.inputsOption = group->add_option("--sim-inputs", options.inputs, "Alarm inputs")
                               ->check(CLI::Range(0, 256))
                               ->capture_default_str();
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
    group->add_option("--sim-toggle", options.toggles, "INPUT:SECONDS - alarm input (from 0) toggles every SECONDS");
}

bool StartSimulator(const SimulateOptions& options, CameraOptions& camera,
                    std::unique_ptr<camsim::Simulator>& simulator, std::string& error) {
    camsim::Config config;
    config.ntsc = options.standard == "ntsc";
    config.productId = options.productId;
    config.inputCount = options.inputs;
    config.outputCount = options.outputs;
    config.audioType = options.audio;
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
    if (options.userOption == nullptr || options.userOption->count() == 0) {
        camera.user = options.user;
    }
    if (options.passwordOption == nullptr || options.passwordOption->count() == 0) {
        camera.password = options.password;
    }
    return true;
}

std::string DescribeSimulator(const camsim::Simulator& simulator) {
    const camsim::Config& config = simulator.GetConfig();
    std::ostringstream text;
    text << "simulator: camera " << simulator.Url();
    if (simulator.ControlPort() != 0) {
        text << ", control " << simulator.ControlUrl();
    }
    text << " (product " << config.productId << ", " << (config.ntsc ? "NTSC" : "PAL") << ", "
         << config.inputCount << " inputs, " << config.outputCount << " outputs, audio " << config.audioType
         << ", auth " << camsim::ToString(config.auth) << ")";
    return text.str();
}

}  // namespace darvik::cli
