// darvik-host console: a live web console. Opens a driver per camera (each
// --camera, or --simulate N simulated cameras started in this process) and
// serves one page, by default on http://127.0.0.1:8088/, that shows each
// camera's live picture, status, message log, capability query, digital I/O,
// PTZ with presets and stream settings, all through the module's exports and
// interfaces. Runs until Ctrl-C (or SIGTERM), then stops every driver.
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "camsim/Simulator.h"
#include "cli/CameraOptions.h"
#include "cli/Cli.h"
#include "console/ConsoleCamera.h"
#include "console/ConsoleServer.h"
#include "console/EventHub.h"

namespace darvik::cli {
namespace {

struct ConsoleOptions {
    std::vector<std::string> cameras;
    std::vector<std::string> users;
    std::vector<std::string> passwords;
    unsigned simulate = 0;
    std::string simStandard = "pal";
    std::uint32_t simInputs = 4;
    std::uint32_t simOutputs = 2;
    std::uint32_t simClaimedInputs = 0;
    std::string simProductId = "034";
    std::string simMac = "00-DE-C0-00-00-01";
    std::string listen = "127.0.0.1:8088";
    std::string consoleUser = "admin";
    std::string consolePassword;
    std::uint32_t inputs = 0;
    std::uint32_t outputs = 0;
    console::StreamChoice stream;
    std::string streamType = "mjpeg";
};

// The MAC address of simulated camera `index`: the given one with its last
// byte counted up.
std::string SimulatedMac(const std::string& first, unsigned index) {
    const auto dash = first.rfind('-');
    if (dash == std::string::npos) {
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

// Blocks SIGINT and SIGTERM in this thread and every thread started after
// it, so that only Wait takes them.
class SignalWait {
   public:
    SignalWait() {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGINT);
        sigaddset(&m_signals, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &m_signals, &m_previous);
    }
    ~SignalWait() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    SignalWait(const SignalWait&) = delete;
    SignalWait& operator=(const SignalWait&) = delete;
    void Wait() {
        int signal = 0;
        sigwait(&m_signals, &signal);
    }

   private:
    sigset_t m_signals;
    sigset_t m_previous;
};

// Starts the --simulate cameras, each with its setup. False, with `error`,
// when one does not start.
bool StartSimulatedCameras(const ConsoleOptions& options, std::vector<std::unique_ptr<camsim::Simulator>>& simulators,
                           std::vector<console::CameraSetup>& setups, std::string& error) {
    for (unsigned i = 0; i < options.simulate; ++i) {
        camsim::Config config;
        config.ntsc = options.simStandard == "ntsc";
        config.inputCount = options.simInputs;
        config.outputCount = options.simOutputs;
        config.claimedInputs = options.simClaimedInputs;
        config.productId = options.simProductId;
        config.macAddress = SimulatedMac(options.simMac, i);
        config.jpegFramesPerSecond = std::min<std::uint32_t>(options.stream.fps, 60);
        auto simulator = std::make_unique<camsim::Simulator>(config);
        if (!simulator->Start(&error)) {
            error = "the simulator did not start: " + error;
            return false;
        }
        console::CameraSetup setup;
        setup.camera.host = "127.0.0.1";
        setup.camera.port = simulator->Port();
        setup.camera.camera = "127.0.0.1:" + std::to_string(setup.camera.port);
        setup.label = "simulated camera " + std::to_string(i) + " (" + setup.camera.camera + ")";
        setup.ntsc = config.ntsc;
        std::cout << "simulated camera " << i << ": " << simulator->Url() << ", control " << simulator->ControlUrl()
                  << ", MAC address " << config.macAddress << "\n";
        setups.push_back(std::move(setup));
        simulators.push_back(std::move(simulator));
    }
    return true;
}

// Adds a setup for each --camera. False, with `error`, for a camera that
// does not resolve.
bool AddGivenCameras(const ConsoleOptions& options, std::vector<console::CameraSetup>& setups, std::string& error) {
    for (std::size_t i = 0; i < options.cameras.size(); ++i) {
        console::CameraSetup setup;
        setup.camera.camera = options.cameras[i];
        // The i-th --user and --password belong to the i-th camera; the last
        // given serve the cameras after it.
        if (!options.users.empty()) {
            setup.camera.user = options.users[std::min(i, options.users.size() - 1)];
        }
        if (!options.passwords.empty()) {
            setup.camera.password = options.passwords[std::min(i, options.passwords.size() - 1)];
        }
        if (!Resolve(setup.camera, error)) {
            return false;
        }
        setup.label = setup.camera.host + ":" + std::to_string(setup.camera.port);
        setups.push_back(std::move(setup));
    }
    return true;
}

int RunConsole(const CliContext& context, ConsoleOptions& options) {
    const char* name = "darvik-host console";
    if (options.cameras.empty() == (options.simulate == 0)) {
        std::cerr << name << ": give --camera HOST[:PORT] (repeatable) or --simulate [N]\n";
        return kExitFailed;
    }
    console::ServerOptions server;
    std::string error;
    if (!console::ParseListenAddress(options.listen, server.address, server.port, error)) {
        std::cerr << name << ": " << error << "\n";
        return kExitFailed;
    }
    server.user = options.consoleUser;
    server.password = options.consolePassword;
    if (!console::IsLoopbackAddress(server.address) && server.password.empty()) {
        std::cerr << name << ": listening on " << server.address
                  << " lets other machines steer the cameras: give --console-password (or listen on 127.0.0.1)\n";
        return kExitFailed;
    }
    options.stream.mpeg = options.streamType == "mpeg";

    SignalWait signals;  // before any thread exists
    std::vector<std::unique_ptr<camsim::Simulator>> simulators;
    std::vector<console::CameraSetup> setups;
    if (!StartSimulatedCameras(options, simulators, setups, error) || !AddGivenCameras(options, setups, error)) {
        std::cerr << name << ": " << error << "\n";
        return kExitFailed;
    }

    console::EventHub events;
    std::vector<std::unique_ptr<console::ConsoleCamera>> cameras;
    std::vector<console::ConsoleCamera*> views;
    for (std::size_t i = 0; i < setups.size(); ++i) {
        setups[i].id = static_cast<int>(i);
        // A simulated camera that claims an input count is taken at its word,
        // as a real camera's query result is.
        const bool simulatedCount = i < simulators.size() && options.simClaimedInputs == 0;
        setups[i].inputs = options.inputs != 0 ? options.inputs : (simulatedCount ? options.simInputs : 0);
        setups[i].outputs = options.outputs != 0 ? options.outputs : (i < simulators.size() ? options.simOutputs : 0);
        setups[i].stream = options.stream;
        cameras.push_back(std::make_unique<console::ConsoleCamera>(context, setups[i], events));
        views.push_back(cameras.back().get());
    }
    console::ConsoleServer web(views, events, server);
    if (!web.Start(error)) {
        std::cerr << name << ": " << error << "\n";
        return kExitFailed;
    }
    for (auto& camera : cameras) {
        if (!camera->Start(error)) {
            std::cerr << name << ": " << error << "\n";
            web.Stop();
            return kExitModuleError;
        }
    }
    std::cout << "console: " << web.Url() << "  (open it in a browser; Ctrl-C stops)" << std::endl;
    signals.Wait();
    std::cout << "stopping" << std::endl;
    web.Stop();
    for (auto& camera : cameras) {
        camera->Stop();
    }
    for (auto& simulator : simulators) {
        simulator->Stop();
    }
    std::cout << "stopped" << std::endl;
    return kExitOk;
}

}  // namespace

void RegisterConsoleCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ConsoleOptions>();
    CLI::App* command = app.add_subcommand(
        "console", "Serve a live web console: picture, status, I/O, PTZ and settings of each camera");
    CLI::Option* camera =
        command->add_option("--camera", options->cameras, "Camera address HOST[:PORT]; repeat for more cameras");
    command->add_option("--user", options->users, "User name for the camera (the i-th for the i-th --camera)");
    command->add_option("--password", options->passwords, "Password for the camera (the i-th for the i-th --camera)");
    command->add_option("--simulate", options->simulate, "Start N simulated cameras in this process")
        ->expected(0, 1)
        ->default_str("1")
        ->excludes(camera);
    command->add_option("--listen", options->listen, "ADDR:PORT of the console (port 0: any free port)")
        ->capture_default_str();
    command->add_option("--console-user", options->consoleUser, "User name asked for with --console-password")
        ->capture_default_str();
    command->add_option("--console-password", options->consolePassword,
                        "Password of the console (Digest); needed to listen on a non-loopback address");
    command->add_option("--stream", options->streamType, "mjpeg or mpeg")
        ->check(CLI::IsMember({"mjpeg", "mpeg"}))
        ->capture_default_str();
    command->add_option("--width", options->stream.width, "Picture width")->capture_default_str();
    command->add_option("--height", options->stream.height, "Picture height")->capture_default_str();
    command->add_option("--fps", options->stream.fps, "Frames per second")
        ->check(CLI::Range(1, 60))
        ->capture_default_str();
    command->add_option("--quality", options->stream.quality, "Quality in percent")
        ->check(CLI::Range(0, 100))
        ->capture_default_str();
    command->add_option("--inputs", options->inputs, "Digital inputs described to the driver (0: as queried)");
    command->add_option("--outputs", options->outputs, "Digital outputs described to the driver (0: as queried)");
    auto* group = command->add_option_group("Simulated cameras", "With --simulate");
    group->add_option("--sim-standard", options->simStandard, "Video standard")
        ->check(CLI::IsMember({"pal", "ntsc"}))
        ->capture_default_str();
    group->add_option("--sim-inputs", options->simInputs, "Alarm inputs")->check(CLI::Range(0, 256))->capture_default_str();
    group->add_option("--sim-outputs", options->simOutputs, "Relay outputs")
        ->check(CLI::Range(0, 256))
        ->capture_default_str();
    group->add_option("--sim-product-id", options->simProductId, "Product id (s_prid); any bytes")
        ->capture_default_str();
    group->add_option("--sim-claimed-inputs", options->simClaimedInputs,
                      "Inputs the camera claims (a_snum) instead of --sim-inputs, e.g. 2147483647");
    group->add_option("--sim-mac", options->simMac, "MAC address of the first simulated camera (names its preset file)")
        ->capture_default_str();
    command->footer("Linux only: a darvik-host built without libmicrohttpd (e.g. on Windows) has no console.");
    command->callback([&context, options] { context.exitCode = RunConsole(context, *options); });
}

}  // namespace darvik::cli
