// --simulate and the options of the simulated camera (--sim-...), one set
// for every darvik-host subcommand that takes --simulate (probe, io,
// capture, ptz, console), and the one way they start a simulator: in this
// process, on 127.0.0.1, configured from the options, with the subcommand
// pointed at it instead of --camera.
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
#include "kit/CameraOptions.h"

namespace darvik::cli {

// What --simulate asks for: a flag for one simulated camera in place of
// --camera, or --simulate [N] for N simulated cameras beside any --camera.
enum class SimulatedCameras { kOne, kMany };

struct SimulateOptions {
    unsigned count = 0;  // simulated cameras asked for; 0: none
    std::string standard = "pal";
    std::string productId = "034";
    std::uint32_t inputs = 4;
    std::uint32_t claimedInputs = 0;  // a_snum instead of inputs; 0: inputs
    std::uint32_t outputs = 2;
    int audio = 0;
    std::string auth = "none";
    std::string user = "admin";
    std::string password = "admin";
    // The first camera's; each further camera counts the last byte up. A
    // subcommand may set its own default before AddSimulateOptions.
    std::string mac = "00-11-22-33-44-AA";
    std::vector<std::string> toggles;  // INPUT:SECONDS

    // Set by the subcommand, not by an option: the simulator's JPEG frame
    // rate (0: the simulator's default).
    std::uint32_t framesPerSecond = 0;

    // Set by AddSimulateOptions, to tell given options from defaults.
    CLI::Option* standardOption = nullptr;
    CLI::Option* inputsOption = nullptr;
    CLI::Option* outputsOption = nullptr;
    CLI::Option* userOption = nullptr;      // the camera's --user (kOne only)
    CLI::Option* passwordOption = nullptr;  // the camera's --password (kOne only)

    bool Simulate() const { return count != 0; }
};

// True when option exists and appeared on the command line.
bool Given(const CLI::Option* option);

// Adds --simulate and the --sim-... options. With kOne --simulate excludes
// --camera; call it after AddCameraOptions.
void AddSimulateOptions(CLI::App& command, SimulateOptions& options,
                        SimulatedCameras cameras = SimulatedCameras::kOne);

// Starts simulated camera `index` (from 0) described by options and points
// camera at it: its address 127.0.0.1:PORT, host and port, and the
// simulator's credentials unless the camera's --user or --password were
// given. False with a reason in error.
bool StartSimulator(const SimulateOptions& options, unsigned index, host::CameraOptions& camera,
                    std::unique_ptr<camsim::Simulator>& simulator, std::string& error);

// One line describing the running simulator: its URLs, MAC address and
// configuration ("camera URL, control URL, MAC address M (...)").
std::string DescribeSimulator(const camsim::Simulator& simulator);

}  // namespace darvik::cli
