// One driver made through the loaded module's exports, together with the host
// objects it is opened with: what every darvik-host subcommand that opens a
// driver needs. Release closes and deletes the driver; the destructor does so
// at the latest, before the module is unloaded.
//
// Used by the subcommand's thread only.
#pragma once

#include <string>

#include "cli/CameraOptions.h"
#include "cli/Cli.h"
#include "darvik/IIPCaptureDriver.h"
#include "kit/FrameAllocator.h"
#include "kit/MessageSink.h"
#include "kit/ModuleLoader.h"
#include "kit/OpenParameters.h"

namespace darvik::cli {

class HostDriver {
   public:
    // commandName prefixes the error lines, e.g. "darvik-host io".
    explicit HostDriver(std::string commandName);
    ~HostDriver();
    HostDriver(const HostDriver&) = delete;
    HostDriver& operator=(const HostDriver&) = delete;

    // Loads the module, creates a driver and fills the connection settings
    // from camera. kExitOk; kExitModuleError when the module did not load,
    // kExitFailed when CreateIPCaptureEx returned null (both with a line on
    // stderr).
    int Start(const CliContext& context, const CameraOptions& camera);
    // Opens the driver with the host objects and Parameters().
    bool Open();
    // Closes and deletes the driver; does nothing the second time.
    void Release();

    brevane::ipcapture::IIPCaptureDriverEx& Driver() const { return *m_driver; }
    host::OpenParameters& Parameters() { return m_parameters; }
    host::MessageSink& Messages() { return m_messages; }
    host::FrameAllocator& Frames() { return m_frames; }

   private:
    std::string m_name;
    host::ModuleLoader m_loader;
    host::MessageSink m_messages;
    host::FrameAllocator m_frames;
    host::OpenParameters m_parameters;
    brevane::ipcapture::IIPCaptureDriverEx* m_driver = nullptr;
};

}  // namespace darvik::cli
