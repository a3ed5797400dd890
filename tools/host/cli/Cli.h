// The frame of darvik-host: what every subcommand shares (the global options,
// loading the module, printing the message log) and the registration
// function of each subcommand. Each subcommand lives in a file of its own and
// is added to main.cpp with one Register... line.
//
// Single-threaded apart from what the module does inside a subcommand.
#pragma once

#include <iosfwd>
#include <string>

// CLI11 is parsed only by the sources that build commands; it costs
// seconds a file.
namespace CLI {
class App;
}  // namespace CLI

#include "kit/CameraOptions.h"
#include "kit/HostDriver.h"
#include "kit/MessageSink.h"
#include "kit/ModuleLoader.h"

namespace darvik::cli {

// Exit codes of darvik-host.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;        // the operation failed
inline constexpr int kExitModuleError = 2;   // the module could not be loaded

struct CliContext {
    std::string modulePath;  // --module
    int exitCode = kExitOk;  // set by the subcommand that ran
};

// DarvikIPCapture.so beside the darvik-host executable or, when there is none,
// where an installation puts it relative to the executable's folder.
std::string DefaultModulePath();

// Loads context.modulePath; prints the loader's error to stderr on failure.
bool LoadModule(const CliContext& context, host::ModuleLoader& loader);

// Starts driver for camera with the module of context: kExitOk;
// kExitModuleError when the module did not load, kExitFailed when it made no
// driver (both with a line on stderr; commandName, e.g. "darvik-host io",
// begins the second).
int StartDriver(const char* commandName, const CliContext& context, const host::CameraOptions& camera,
                host::HostDriver& driver);

// Adds --camera HOST[:PORT], --user and --password, the camera options of
// the subcommands that talk to one camera.
void AddCameraOptions(CLI::App& command, host::CameraOptions& options);

// Prints every line the module delivered, with its level.
void PrintMessageLog(std::ostream& out, const host::MessageSink& sink);

// Subcommands, one file each.
void RegisterOpenCommand(CLI::App& app, CliContext& context);
void RegisterCaptureCommand(CLI::App& app, CliContext& context);
void RegisterProbeCommand(CLI::App& app, CliContext& context);
void RegisterIoCommand(CLI::App& app, CliContext& context);
void RegisterPtzCommand(CLI::App& app, CliContext& context);
// Linux only: its simulated cameras run in the process.
void RegisterSoakCommand(CLI::App& app, CliContext& context);
// Built when DARVIK_HOST_CONSOLE is defined (Linux).
void RegisterConsoleCommand(CLI::App& app, CliContext& context);

}  // namespace darvik::cli
