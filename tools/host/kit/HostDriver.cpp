#include "kit/HostDriver.h"

namespace darvik::host {

HostDriver::~HostDriver() { Release(); }

HostDriver::Started HostDriver::Start(const std::string& modulePath, const CameraOptions& camera,
                                      std::string& error) {
    if (!m_loader.Load(modulePath)) {
        error = m_loader.Error();
        return Started::kModuleNotLoaded;
    }
    ApplyConnection(camera, m_parameters);
    m_driver = m_loader.Exports().CreateIPCaptureEx();
    if (m_driver == nullptr) {
        error = "CreateIPCaptureEx returned null";
        return Started::kNoDriver;
    }
    return Started::kYes;
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

}  // namespace darvik::host
