#include "cli/Cli.h"

#include <filesystem>
#include <iostream>

namespace darvik::cli {

std::string DefaultModulePath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return brevane::ipcapture::kModuleFileName;
    }
    return (self.parent_path() / brevane::ipcapture::kModuleFileName).string();
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
