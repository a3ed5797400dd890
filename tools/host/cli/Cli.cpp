#include "cli/Cli.h"

#include <filesystem>
#include <iostream>
#include <system_error>

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
