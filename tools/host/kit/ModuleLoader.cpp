#include "kit/ModuleLoader.h"

#include <dlfcn.h>

#include <type_traits>

namespace darvik::host {

ModuleLoader::~ModuleLoader() { Unload(); }

bool ModuleLoader::Load(const std::string& path) {
    Unload();
    m_error.clear();
    m_path = path;
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        m_error = "cannot load module " + path + ": " + (reason != nullptr ? reason : "unknown error");
        return false;
    }

    ModuleExports exports;
    std::string missing;
    auto resolve = [&](auto& target, const char* name) {
        void* symbol = ::dlsym(handle, name);
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
        ::dlclose(handle);
        return false;
    }
    m_handle = handle;
    m_exports = exports;
    return true;
}

void ModuleLoader::Unload() {
    if (m_handle != nullptr) {
        ::dlclose(m_handle);
        m_handle = nullptr;
    }
    m_exports = ModuleExports{};
}

}  // namespace darvik::host
