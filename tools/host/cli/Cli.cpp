#include "cli/Cli.h"

#include <filesystem>
#include <iostream>
#include <system_error>

#include <CLI/CLI.hpp>

#include "kit/HostSystem.h"

namespace darvik::cli {

std::string DefaultModulePath() {
    const std::string folder = host::ExecutableDirectory();
    const std::string beside = folder + brevane::ipcapture::kModuleFileName;
#ifdef DARVIK_INSTALLED_MODULE_DIR
    // An installed darvik-host (bin/) and its module (the library folder).
    std::error_code error;
    if (!std::filesystem::exists(beside, error)) {
        const std::string installed =
            folder + DARVIK_INSTALLED_MODULE_DIR "/" + brevane::ipcapture::kModuleFileName;
        if (std::filesystem::exists(installed, error)) {
            return installed;
        }
    }
#endif
    return beside;
}

bool LoadModule(const CliContext& context, host::ModuleLoader& loader) {
    if (loader.Load(context.modulePath)) {
        return true;
    }
    std::cerr << "darvik-host: " << loader.Error() << "\n";
    return false;
}

int StartDriver(const char* commandName, const CliContext& context, const host::CameraOptions& camera,
                host::HostDriver& driver) {
    std::string error;
    switch (driver.Start(context.modulePath, camera, error)) {
        case host::HostDriver::Started::kYes:
            return kExitOk;
        case host::HostDriver::Started::kModuleNotLoaded:
            std::cerr << "darvik-host: " << error << "\n";
            return kExitModuleError;
        case host::HostDriver::Started::kNoDriver:
            break;
    }
    std::cerr << commandName << ": " << error << "\n";
    return kExitFailed;
}

void AddCameraOptions(CLI::App& command, host::CameraOptions& options) {
    command.add_option("--camera", options.camera, "Camera address HOST[:PORT]")
        ->capture_default_str();
    command.add_option("--user", options.user, "User name for the camera");
    command.add_option("--password", options.password, "Password for the camera");
}

void PrintMessageLog(std::ostream& out, const host::MessageSink& sink) {
    const auto messages = sink.Messages();
    out << "message log (" << messages.size() << (messages.size() == 1 ? " line" : " lines")
        << "):\n";
    for (const host::Message& message : messages) {
        out << "  [" << message.level << "] " << (message.textWasNull ? "(no text)" : message.text)
            << "\n";
    }
}

}  // namespace darvik::cli
