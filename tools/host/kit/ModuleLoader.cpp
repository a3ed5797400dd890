#include "kit/ModuleLoader.h"

#include <type_traits>

#include "kit/HostSystem.h"

namespace darvik::host {

ModuleLoader::~ModuleLoader() { Unload(); }

bool ModuleLoader::Load(const std::string& path) {
    Unload();
    m_error.clear();
    m_path = path;
    std::string reason;
    void* handle = OpenSharedLibrary(path, &reason);
    if (handle == nullptr) {
        m_error = "cannot load module " + path + ": " + reason;
        return false;
    }

    ModuleExports exports;
    std::string missing;
    auto resolve = [&](auto& target, const char* name) {
        void* symbol = FindSharedLibrarySymbol(handle, name);
        if (symbol == nullptr) {
            missing += missing.empty() ? name : std::string(", ") + name;
            return;
        }
        target = reinterpret_cast<std::remove_reference_t<decltype(target)>>(symbol);
    };
    resolve(exports.CreateIPCapture, "CreateIPCapture");
    resolve(exports.CreateIPCaptureEx, "CreateIPCaptureEx");
    resolve(exports.DeleteIPCapture, "DeleteIPCapture");
    resolve(exports.DeleteIPCaptureEx, "DeleteIPCaptureEx");
    resolve(exports.CreateCapabilityQueryModule, "CreateCapabilityQueryModule");
    resolve(exports.DeleteCapabilityQueryModule, "DeleteCapabilityQueryModule");
    resolve(exports.InitCapabilityQuery, "InitCapabilityQuery");
    resolve(exports.StartCapabilityQuery, "StartCapabilityQuery");
    resolve(exports.TerminateCapabilityQuery, "TerminateCapabilityQuery");
    resolve(exports.UninitCapabilityQuery, "UninitCapabilityQuery");
    if (!missing.empty()) {
        m_error = "module " + path + " does not export: " + missing;
        CloseSharedLibrary(handle);
        return false;
    }
    m_handle = handle;
    m_exports = exports;
    return true;
}

void ModuleLoader::Unload() {
    if (m_handle != nullptr) {
        CloseSharedLibrary(m_handle);
        m_handle = nullptr;
    }
    m_exports = ModuleExports{};
}

}  // namespace darvik::host
