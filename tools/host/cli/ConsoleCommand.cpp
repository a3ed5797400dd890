// darvik-host console: a live web console. Opens a driver per camera (the
// cameras of the --site file, each --camera, and --simulate N simulated
// cameras started in this process) and serves one page, by default on
// http://127.0.0.1:8088/: a wall of every camera's picture and state, and for
// the camera chosen its live picture, status, message log, capability query,
// digital I/O, PTZ with presets and stream settings, all through the
// module's exports and interfaces. Cameras are added, changed and removed
// from the page; with --site every change is written back to the file. Runs
// until Ctrl-C (or SIGTERM), then stops every driver.
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "camsim/Simulator.h"
#include "cli/Cli.h"
#include "cli/SimulateOptions.h"
#include "console/CameraRoster.h"
#include "console/ConsoleCamera.h"
#include "console/ConsoleServer.h"
#include "console/EventHub.h"
#include "console/SiteFile.h"
#include "kit/CameraOptions.h"

namespace darvik::cli {
namespace {

struct ConsoleOptions {
    std::string site;
    std::vector<std::string> cameras;
    std::vector<std::string> users;
    std::vector<std::string> passwords;
    SimulateOptions sim;
    std::string listen = "127.0.0.1:8088";
    std::string consoleUser = "admin";
    std::string consolePassword;
    std::uint32_t inputs = 0;
    std::uint32_t outputs = 0;
    console::StreamChoice stream;
    std::string streamType = "mjpeg";
};

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
                           std::vector<console::CameraSetup>& setups, std::vector<console::SiteEntry>& entries,
                           std::string& error) {
    SimulateOptions sim = options.sim;
    sim.framesPerSecond = std::min<std::uint32_t>(options.stream.fps, 60);
    for (unsigned i = 0; i < sim.count; ++i) {
        std::unique_ptr<camsim::Simulator> simulator;
        host::CameraOptions camera;
        if (!StartSimulator(sim, i, camera, simulator, error)) {
            error = "the simulator did not start: " + error;
            return false;
        }
        console::CameraSetup setup;
        setup.ntsc = simulator->GetConfig().ntsc;
        // A simulated camera that claims an input count is taken at its word,
        // as a real camera's query result is.
        setup.inputs = options.inputs != 0 ? options.inputs : (sim.claimedInputs == 0 ? sim.inputs : 0);
        setup.outputs = options.outputs != 0 ? options.outputs : sim.outputs;
        setup.stream = options.stream;
        console::SiteEntry entry;
        entry.address = camera.camera;
        entry.user = camera.user;
        entry.password = camera.password;
        entry.label = "simulated camera " + std::to_string(i) + " (" + entry.address + ")";
        entry.mpeg = options.stream.mpeg;
        std::cout << "simulated camera " << i << ": " << DescribeSimulator(*simulator) << "\n";
        setups.push_back(std::move(setup));
        entries.push_back(std::move(entry));
        simulators.push_back(std::move(simulator));
    }
    return true;
}

// An entry for each --camera that the site does not hold already. False,
// with `error`, for a camera that is not usable.
bool AddGivenCameras(const ConsoleOptions& options, std::vector<console::SiteEntry>& site, std::string& error) {
    for (std::size_t i = 0; i < options.cameras.size(); ++i) {
        nlohmann::json given = {{"address", options.cameras[i]}, {"stream", options.stream.mpeg ? "mpeg" : "mjpeg"}};
        // The i-th --user and --password belong to the i-th camera; the last
        // given serve the cameras after it.
        if (!options.users.empty()) {
            given["user"] = options.users[std::min(i, options.users.size() - 1)];
        }
        if (!options.passwords.empty()) {
            given["password"] = options.passwords[std::min(i, options.passwords.size() - 1)];
        }
        console::SiteEntry entry;
        console::FieldError refused;
        if (!console::ParseSiteEntry(given, entry, refused)) {
            error = "--camera " + options.cameras[i] + ": " + refused.field + ": " + refused.reason;
            return false;
        }
        const bool known = std::any_of(site.begin(), site.end(), [&](const console::SiteEntry& kept) {
            return kept.address == entry.address && kept.user == entry.user;
        });
        if (!known) {
            site.push_back(std::move(entry));
        }
    }
    return true;
}

// The web server's address and password from the options; false with a
// reason for a bad --listen, or another machine's address without a password.
bool ServerFromOptions(const ConsoleOptions& options, console::ServerOptions& server, std::string& error) {
    if (!console::ParseListenAddress(options.listen, server.address, server.port, error)) {
        return false;
    }
    server.user = options.consoleUser;
    server.password = options.consolePassword;
    if (!console::IsLoopbackAddress(server.address) && server.password.empty()) {
        error = "listening on " + server.address +
                " lets other machines steer the cameras: give --console-password (or listen on 127.0.0.1)";
        return false;
    }
    return true;
}

int RunConsole(const CliContext& context, ConsoleOptions& options) {
    const char* name = "darvik-host console";
    if (options.cameras.empty() && !options.sim.Simulate() && options.site.empty()) {
        std::cerr << name << ": give --site FILE, --camera HOST[:PORT] (repeatable) or --simulate [N]\n";
        return kExitFailed;
    }
    console::ServerOptions server;
    std::string error;
    if (!ServerFromOptions(options, server, error)) {
        std::cerr << name << ": " << error << "\n";
        return kExitFailed;
    }
    options.stream.mpeg = options.streamType == "mpeg";

    std::vector<console::SiteEntry> site;
    bool siteExisted = false;
    if (!options.site.empty() && !console::LoadSite(options.site, site, siteExisted, error)) {
        std::cerr << name << ": " << error << "\n";
        return kExitFailed;
    }
    if (!AddGivenCameras(options, site, error)) {
        std::cerr << name << ": " << error << "\n";
        return kExitFailed;
    }
    if (site.size() + options.sim.count > console::kMaxCameras) {
        std::cerr << name << ": " << site.size() + options.sim.count << " cameras; a console shows at most "
                  << console::kMaxCameras << "\n";
        return kExitFailed;
    }

    SignalWait signals;  // before any thread exists
    std::vector<std::unique_ptr<camsim::Simulator>> simulators;
    std::vector<console::CameraSetup> simulatedSetups;
    std::vector<console::SiteEntry> simulatedEntries;
    if (!StartSimulatedCameras(options, simulators, simulatedSetups, simulatedEntries, error)) {
        std::cerr << name << ": " << error << "\n";
        return kExitFailed;
    }

    console::EventHub events;
    console::CameraSetup defaults;
    defaults.inputs = options.inputs;
    defaults.outputs = options.outputs;
    defaults.stream = options.stream;
    console::CameraRoster cameras(context.modulePath, events, defaults, options.site);
    console::ConsoleServer web(cameras, events, server);
    if (!web.Start(error)) {
        std::cerr << name << ": " << error << "\n";
        return kExitFailed;
    }
    // Simulated cameras live as long as this process: they join the wall
    // but not the site file, where their ports would mean nothing later.
    int status = kExitOk;
    for (std::size_t i = 0; i < simulatedEntries.size() && status == kExitOk; ++i) {
        const auto outcome = cameras.Add(simulatedEntries[i], false, simulatedSetups[i]);
        if (outcome.status != 200) {
            std::cerr << name << ": " << outcome.body.value("error", "a camera did not start") << "\n";
            status = kExitModuleError;
        }
    }
    for (std::size_t i = 0; i < site.size() && status == kExitOk; ++i) {
        const auto outcome = cameras.Add(site[i], true);
        if (outcome.status != 200) {
            std::cerr << name << ": " << outcome.body.value("error", "a camera did not start") << "\n";
            status = kExitModuleError;
        }
    }
    if (status == kExitOk && !options.site.empty() && !cameras.Save(error)) {
        std::cerr << name << ": " << error << "\n";
        status = kExitFailed;
    }
    if (status != kExitOk) {
        web.Stop();
        cameras.StopAll();
        return status;
    }
    if (!options.site.empty()) {
        std::cout << "site: " << options.site << (siteExisted ? "" : " (created)") << ", " << site.size()
                  << " cameras" << std::endl;
    }
    std::cout << "console: " << web.Url() << "  (open it in a browser; Ctrl-C stops)" << std::endl;
    signals.Wait();
    std::cout << "stopping" << std::endl;
    web.Stop();
    cameras.StopAll();
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
        "console", "Serve a live web console: a wall of the site's cameras, and picture, status, I/O, PTZ and settings of each");
    command->add_option("--site", options->site,
                        "JSON file of the site's cameras: read at the start, every change written back (mode 0600)");
    command->add_option("--camera", options->cameras,
                        "Camera address HOST[:PORT]; repeat for more cameras (added to the site)");
    command->add_option("--user", options->users, "User name for the camera (the i-th for the i-th --camera)");
    command->add_option("--password", options->passwords, "Password for the camera (the i-th for the i-th --camera)");
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
    options->sim.mac = "00-DE-C0-00-00-01";
    AddSimulateOptions(*command, options->sim, SimulatedCameras::kMany);
    command->footer("Linux only: a darvik-host built without libmicrohttpd (e.g. on Windows) has no console.");
    command->callback([&context, options] { context.exitCode = RunConsole(context, *options); });
}

}  // namespace darvik::cli
