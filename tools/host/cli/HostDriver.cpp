#include "cli/HostDriver.h"

#include <iostream>
#include <utility>

namespace darvik::cli {

HostDriver::HostDriver(std::string commandName) : m_name(std::move(commandName)) {}

HostDriver::~HostDriver() { Release(); }

int HostDriver::Start(const CliContext& context, const CameraOptions& camera) {
    if (!LoadModule(context, m_loader)) {
        return kExitModuleError;
    }
    ApplyConnection(camera, m_parameters);
    m_driver = m_loader.Exports().CreateIPCaptureEx();
    if (m_driver == nullptr) {
        std::cerr << m_name << ": CreateIPCaptureEx returned null\n";
        return kExitFailed;
    }
    return kExitOk;
}

bool HostDriver::Open() { return m_driver->Open(&m_messages, &m_frames, &m_parameters); }

void HostDriver::Release() {
    if (m_driver == nullptr) {
        return;
    }
    m_driver->Close();
    m_loader.Exports().DeleteIPCaptureEx(m_driver);
    m_driver = nullptr;
}

}  // namespace darvik::cli
