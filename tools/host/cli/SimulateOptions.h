// --simulate and the options of the simulated camera, shared by the
// darvik-host subcommands that talk to a camera: instead of --camera, an
// in-process camera simulator is started on 127.0.0.1 with the given video
// standard, product id, alarm inputs and outputs, audio type and
// authentication, and the subcommand is pointed at it.
//
// Single-threaded use by one subcommand; the simulator serves on threads of
// its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// CLI11 is parsed only by the sources that build commands; it costs
// seconds a file.
namespace CLI {
class App;
class Option;
}  // namespace CLI

#include "camsim/Simulator.h"
#include "cli/CameraOptions.h"

namespace darvik::cli {

struct SimulateOptions {
    bool simulate = false;
    std::string standard = "pal";
    std::string productId = "034";
    std::uint32_t inputs = 4;
    std::uint32_t outputs = 2;
    int audio = 0;
    std::string auth = "none";
    std::string user = "admin";
    std::string password = "admin";
    std::vector<std::string> toggles;  // INPUT:SECONDS

    // Set by AddSimulateOptions, to tell given options from defaults.
    CLI::Option* inputsOption = nullptr;
    CLI::Option* outputsOption = nullptr;
    CLI::Option* cameraOption = nullptr;
    CLI::Option* userOption = nullptr;
    CLI::Option* passwordOption = nullptr;
};

// Adds --simulate (excluding --camera) and the --sim-... options; call it
// after AddCameraOptions.
void AddSimulateOptions(CLI::App& command, SimulateOptions& options);

// Starts the simulator described by options and points camera at it: host
// 127.0.0.1, its port, and the simulator's credentials unless --user or
// --password were given. False with a reason in error.
bool StartSimulator(const SimulateOptions& options, CameraOptions& camera,
                    std::unique_ptr<camsim::Simulator>& simulator, std::string& error);

// One line describing the running simulator (URLs and configuration).
std::string DescribeSimulator(const camsim::Simulator& simulator);

}  // namespace darvik::cli
