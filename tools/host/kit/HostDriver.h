// One driver made through the loaded module's exports, together with the host
// objects it is opened with: what every host program that opens a driver
// needs (darvik-host's subcommands, a camera of the web console). Release
// closes and deletes the driver; the destructor does so at the latest,
// before the module is unloaded.
//
// Owned by its user; Start, Open and Release belong to one thread at a time
// (the console hands a started driver to its camera's worker thread).
#pragma once

#include <string>

#include "darvik/IIPCaptureDriver.h"
#include "kit/CameraOptions.h"
#include "kit/FrameAllocator.h"
#include "kit/MessageSink.h"
#include "kit/ModuleLoader.h"
#include "kit/OpenParameters.h"

namespace darvik::host {

class HostDriver {
   public:
    // How Start ended.
    enum class Started {
        kYes,
        kModuleNotLoaded,  // the module did not load
        kNoDriver,         // CreateIPCaptureEx returned null
    };

    HostDriver() = default;
    ~HostDriver();
    HostDriver(const HostDriver&) = delete;
    HostDriver& operator=(const HostDriver&) = delete;

    // Loads the module at modulePath, creates a driver and fills the
    // connection settings from camera. On failure error says why (the
    // loader's message, or which export gave no driver).
    Started Start(const std::string& modulePath, const CameraOptions& camera, std::string& error);
    // Opens the driver with the host objects and Parameters().
    bool Open();
    // Closes and deletes the driver; does nothing the second time.
    void Release();

    brevane::ipcapture::IIPCaptureDriverEx& Driver() const { return *m_driver; }
    OpenParameters& Parameters() { return m_parameters; }
    MessageSink& Messages() { return m_messages; }
    FrameAllocator& Frames() { return m_frames; }

   private:
    ModuleLoader m_loader;
    MessageSink m_messages;
    FrameAllocator m_frames;
    OpenParameters m_parameters;
    brevane::ipcapture::IIPCaptureDriverEx* m_driver = nullptr;
};

}  // namespace darvik::host
