// darvik-host: a reference host for DarvikIPCapture.so. It loads the module
// through its exports only, the way a recorder does, and drives it from the
// command line.
#include <CLI/CLI.hpp>

#include <string>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    darvik::cli::CliContext context;
    context.modulePath = darvik::cli::DefaultModulePath();

    CLI::App app{"darvik-host: reference host for the DarvikIPCapture module"};
    app.add_option("--module", context.modulePath, "Path of DarvikIPCapture.so")
        ->capture_default_str();
    app.set_version_flag("--version", std::string("darvik-host ") + DARVIK_VERSION);
    app.require_subcommand(1);

    darvik::cli::RegisterOpenCommand(app, context);
    darvik::cli::RegisterCaptureCommand(app, context);
    darvik::cli::RegisterProbeCommand(app, context);
    darvik::cli::RegisterIoCommand(app, context);
    darvik::cli::RegisterPtzCommand(app, context);
    darvik::cli::RegisterSoakCommand(app, context);
#ifdef DARVIK_HOST_CONSOLE
    darvik::cli::RegisterConsoleCommand(app, context);
#else
    app.footer("This darvik-host is built without the web console (console is Linux only).");
#endif

    CLI11_PARSE(app, argc, argv);
    return context.exitCode;
}
