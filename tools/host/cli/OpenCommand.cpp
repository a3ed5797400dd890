// darvik-host open: creates a driver through the exports, opens it with the
// given camera settings, closes and deletes it, and prints the message log.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/Cli.h"
#include "kit/CameraOptions.h"
#include "kit/HostDriver.h"
#include "kit/OpenParameters.h"

namespace darvik::cli {
namespace {

struct OpenOptions {
    host::CameraOptions camera;
    std::int32_t streamType = 1;
    std::string standard = "pal";
    std::vector<std::string> custom;
    std::string model = "Darvik IP camera";
    std::uint32_t channels = 1;
    std::uint32_t inputs = 1;
    std::uint32_t outputs = 1;
};

int RunOpen(const CliContext& context, OpenOptions& options) {
    std::string error;
    if (!host::Resolve(options.camera, error)) {
        std::cerr << "darvik-host open: " << error << "\n";
        return kExitFailed;
    }
    host::HostDriver host;
    if (const int code = StartDriver("darvik-host open", context, options.camera, host); code != kExitOk) {
        return code;
    }
    host::OpenParameters& parameters = host.Parameters();
    parameters.connection.streamType = options.streamType;
    parameters.device.modelName = options.model;
    parameters.device.channelCount = options.channels;
    parameters.device.inputCount = options.inputs;
    parameters.device.outputCount = options.outputs;
    if (options.custom.empty()) {
        // Custom parameter 1 is the video standard: 1 NTSC, 0 PAL.
        parameters.SetCustomParameter(1, options.standard == "ntsc" ? "1" : "0");
    } else {
        for (std::size_t i = 0; i < options.custom.size(); ++i) {
            parameters.SetCustomParameter(static_cast<std::uint32_t>(i + 1), options.custom[i]);
        }
    }

    const bool opened = host.Open();
    brevane::ipcapture::IIPCaptureDriverEx& driver = host.Driver();
    std::cout << "open " << options.camera.host << ":" << options.camera.port << ": "
              << (opened ? "succeeded" : "FAILED") << "\n";
    std::cout << "services: video capture " << (driver.GetVideoCapture() ? "yes" : "no")
              << ", digital I/O " << (driver.GetCaptureIO() ? "yes" : "no") << ", PTZ "
              << (driver.GetPTZDriver() ? "yes" : "no") << "\n";
    host.Release();
    PrintMessageLog(std::cout, host.Messages());
    return opened ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterOpenCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<OpenOptions>();
    CLI::App* command = app.add_subcommand(
        "open", "Create, open, close and delete a driver; print the message log");
    AddCameraOptions(*command, options->camera);
    command->add_option("--stream-type", options->streamType, "1 MJPEG, 2 MPEG")
        ->capture_default_str();
    command->add_option("--standard", options->standard, "Video standard (custom parameter 1)")
        ->check(CLI::IsMember({"pal", "ntsc"}))
        ->capture_default_str();
    command->add_option("--custom", options->custom,
                        "Custom parameters from index 1 on, as given (replaces --standard)");
    command->add_option("--model", options->model, "Device model name")->capture_default_str();
    command->add_option("--channels", options->channels, "Channel count")->capture_default_str();
    command->add_option("--inputs", options->inputs, "Digital input count")->capture_default_str();
    command->add_option("--outputs", options->outputs, "Digital output count")->capture_default_str();
    command->callback([&context, options] { context.exitCode = RunOpen(context, *options); });
}

}  // namespace darvik::cli
