#include "cli/Cli.h"

#include <iostream>

#include "kit/HostSystem.h"

namespace darvik::cli {

std::string DefaultModulePath() {
    return host::ExecutableDirectory() + brevane::ipcapture::kModuleFileName;
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
