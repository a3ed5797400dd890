#include "ptz/BasePTZControl.h"

#include <cstring>
#include <string>

#include "ptz/BasePTZComm.h"

namespace brevane {

CBasePTZControl::CBasePTZControl(IDriver* driver, std::uint32_t channel, bool persistPresets)
    : m_driver(driver), m_channel(channel), m_prepositions(channel, persistPresets) {}

CBasePTZControl::~CBasePTZControl() { Close(); }

std::int32_t CBasePTZControl::Reserved21(std::int32_t) { return 0; }

void CBasePTZControl::ConnectList() { m_prepositions.SetComm(m_comm, m_comm->GetMaxPrepositions()); }

bool CBasePTZControl::Open(TSmartPtr<CXMLPrepositionReader> reader) {
    m_comm = CreateComm();
    if (m_comm != nullptr && m_comm->Open() && reader) {
        ConnectList();
        m_prepositions.SetStorage(reader);
        reader.Release();
        return true;
    }
    Close();
    reader.Release();
    return false;
}

bool CBasePTZControl::Open() {
    m_comm = CreateComm();
    if (m_comm == nullptr || !m_comm->Open()) {
        Close();
        return false;
    }
    ConnectList();
    return true;
}

void CBasePTZControl::Close() {
    if (m_comm == nullptr) {
        return;
    }
    // The list must not keep calling a command object that is going away.
    m_prepositions.SetComm(nullptr, 0);
    m_comm->StopThread();
    delete m_comm;
    m_comm = nullptr;
}

std::int32_t CBasePTZControl::CheckReady() {
    return m_comm == nullptr ? PTZ_ERR_NOT_READY : m_comm->CheckReady(Params());
}

template <typename Operation>
std::int32_t CBasePTZControl::Forward(std::atomic<bool>* motion, Operation operation) {
    if (m_comm == nullptr) {
        return PTZ_ERR_NOT_READY;
    }
    const std::int32_t status = operation(*m_comm);
    if (status == PTZ_OK) {
        // The head has left the preset it stood on.
        m_prepositions.ResetCurrent();
        if (motion != nullptr) {
            motion->store(true);
        }
    }
    return status;
}

std::int32_t CBasePTZControl::StartMove(std::int32_t direction, std::int32_t speed) {
    const bool zoom = direction == PTZ_DIR_ZOOM_IN || direction == PTZ_DIR_ZOOM_OUT;
    return Forward(zoom ? &m_zooming : &m_moving, [&](CBasePTZComm& comm) {
        // Direction 10 is no motion the host may start.
        return direction == 10 ? PTZ_ERR_INVALID_ARGUMENT : comm.StartMove(Params(), direction, speed);
    });
}

std::int32_t CBasePTZControl::StopAll() {
    if (m_comm == nullptr) {
        return PTZ_ERR_NOT_READY;
    }
    bool ok = true;
    // A flag is cleared only when its stop was queued.
    auto stop = [&](std::atomic<bool>& flag, bool (CBasePTZComm::*request)(IIPParams*)) {
        if (flag.load()) {
            if ((m_comm->*request)(Params())) {
                flag.store(false);
            } else {
                ok = false;
            }
        }
    };
    stop(m_moving, &CBasePTZComm::StopMoving);
    stop(m_zooming, &CBasePTZComm::StopZooming);
    stop(m_irisChanging, &CBasePTZComm::StopIrisChanging);
    stop(m_focusing, &CBasePTZComm::StopFocusing);
    return ok ? PTZ_OK : PTZ_ERR_NOT_READY;
}

std::int32_t CBasePTZControl::Center(std::int32_t a, std::int32_t b, std::int32_t c) {
    return Forward(nullptr, [&](CBasePTZComm& comm) { return comm.Center(Params(), a, b, c); });
}

std::int32_t CBasePTZControl::ZoomIn(std::int32_t speed) {
    return Forward(&m_zooming, [&](CBasePTZComm& comm) { return comm.StartMove(Params(), PTZ_DIR_ZOOM_IN, speed); });
}

std::int32_t CBasePTZControl::ZoomOut(std::int32_t speed) {
    return Forward(&m_zooming, [&](CBasePTZComm& comm) { return comm.StartMove(Params(), PTZ_DIR_ZOOM_OUT, speed); });
}

std::int32_t CBasePTZControl::Unzoom(std::int32_t a) {
    return Forward(nullptr, [&](CBasePTZComm& comm) { return comm.Unzoom(Params(), a); });
}

std::int32_t CBasePTZControl::AreaZoom(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
    return Forward(nullptr, [&](CBasePTZComm& comm) { return comm.AreaZoom(Params(), a, b, c, d); });
}

std::int32_t CBasePTZControl::FocusNear(std::int32_t speed) {
    return Forward(&m_focusing, [&](CBasePTZComm& comm) { return comm.StartFocus(Params(), true, speed); });
}

std::int32_t CBasePTZControl::FocusFar(std::int32_t speed) {
    return Forward(&m_focusing, [&](CBasePTZComm& comm) { return comm.StartFocus(Params(), false, speed); });
}

std::int32_t CBasePTZControl::IrisOpen(std::int32_t speed) {
    return Forward(&m_irisChanging, [&](CBasePTZComm& comm) { return comm.StartIris(Params(), true, speed); });
}

std::int32_t CBasePTZControl::IrisClose(std::int32_t speed) {
    return Forward(&m_irisChanging, [&](CBasePTZComm& comm) { return comm.StartIris(Params(), false, speed); });
}

std::int32_t CBasePTZControl::GetCapabilities(std::int32_t* record) {
    if (m_comm == nullptr) {
        return PTZ_ERR_NOT_READY;
    }
    if (record == nullptr) {
        return PTZ_ERR_INVALID_ARGUMENT;
    }
    const std::int32_t status = m_comm->GetCapabilities(record);
    if (status == PTZ_OK) {
        record[7] = static_cast<std::int32_t>(m_prepositions.GetCapacity());
        record[8] = m_prepositions.GetCount();
    }
    return status;
}

std::int32_t CBasePTZControl::GetPrepositionCount() { return m_prepositions.GetCount(); }

std::int32_t CBasePTZControl::CopyName(const std::string& name, char* buffer, std::uint32_t size) {
    if (buffer == nullptr || name.size() >= size) {
        return PTZ_ERR_INVALID_ARGUMENT;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return PTZ_OK;
}

std::int32_t CBasePTZControl::GetPrepositionName(std::int32_t index, char* buffer, std::uint32_t size) {
    std::string name;
    if (!m_prepositions.GetName(index, name)) {
        return PTZ_ERR_PRESET;
    }
    return CopyName(name, buffer, size);
}

std::int32_t CBasePTZControl::GetCurrentPreposition(char* buffer, std::uint32_t size) {
    std::string name;
    if (!m_prepositions.GetCurrentName(name)) {
        return PTZ_ERR_PRESET;
    }
    return CopyName(name, buffer, size);
}

std::int32_t CBasePTZControl::GotoPreposition(std::int32_t arg, const char* name) {
    if (name == nullptr) {
        return PTZ_ERR_INVALID_ARGUMENT;
    }
    return m_prepositions.GotoPreposition(std::string(name), arg) ? PTZ_OK : PTZ_ERR_PRESET;
}

std::int32_t CBasePTZControl::AddPreposition(const char* name) {
    if (name == nullptr) {
        return PTZ_ERR_INVALID_ARGUMENT;
    }
    return m_prepositions.AddPreposition(std::string(name));
}

std::int32_t CBasePTZControl::RemovePreposition(const char* name) {
    if (name == nullptr) {
        return PTZ_ERR_INVALID_ARGUMENT;
    }
    return m_prepositions.RemovePreposition(std::string(name)) ? PTZ_OK : PTZ_ERR_PRESET;
}

}  // namespace brevane
