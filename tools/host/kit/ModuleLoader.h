// Loads the module (DarvikIPCapture.so or DarvikIPCapture.dll) the way a host
// does and resolves its ten exported functions by name.
//
// Owned by the host; unloads the module on destruction, so every object made
// through it must be deleted before. Load and the destructor belong to one
// thread; the resolved function pointers may be called from any thread.
#pragma once

#include <string>

#include "darvik/Exports.h"

namespace darvik::host {

struct ModuleExports {
    brevane::ipcapture::CreateIPCaptureFn CreateIPCapture = nullptr;
    brevane::ipcapture::CreateIPCaptureExFn CreateIPCaptureEx = nullptr;
    brevane::ipcapture::DeleteIPCaptureFn DeleteIPCapture = nullptr;
    brevane::ipcapture::DeleteIPCaptureExFn DeleteIPCaptureEx = nullptr;
    brevane::ipcapture::CreateCapabilityQueryModuleFn CreateCapabilityQueryModule = nullptr;
    brevane::ipcapture::DeleteCapabilityQueryModuleFn DeleteCapabilityQueryModule = nullptr;
    brevane::ipcapture::InitCapabilityQueryFn InitCapabilityQuery = nullptr;
    brevane::ipcapture::StartCapabilityQueryFn StartCapabilityQuery = nullptr;
    brevane::ipcapture::TerminateCapabilityQueryFn TerminateCapabilityQuery = nullptr;
    brevane::ipcapture::UninitCapabilityQueryFn UninitCapabilityQuery = nullptr;
};

class ModuleLoader {
   public:
    ModuleLoader() = default;
    ~ModuleLoader();
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;

    // Loads the module at path and resolves every export. On failure returns
    // false, leaves nothing loaded and Error() says what went wrong (the
    // loader's message, or the names of the missing exports).
    bool Load(const std::string& path);
    void Unload();

    bool IsLoaded() const { return m_handle != nullptr; }
    const ModuleExports& Exports() const { return m_exports; }
    const std::string& Error() const { return m_error; }
    const std::string& Path() const { return m_path; }

   private:
    void* m_handle = nullptr;
    ModuleExports m_exports;
    std::string m_error;
    std::string m_path;
};

}  // namespace darvik::host
