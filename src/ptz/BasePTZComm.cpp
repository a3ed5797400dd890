#include "ptz/BasePTZComm.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "core/IDriver.h"

namespace brevane {

CBasePTZComm::CBasePTZComm(IDriver* driver, std::uint16_t channel) : m_channel(channel), m_driver(driver) {}

CBasePTZComm::~CBasePTZComm() { StopThread(); }

void CBasePTZComm::StopThread() {
    if (m_threadStarted.exchange(false)) {
        Stop();
    }
}

bool CBasePTZComm::Open() {
    if (!CanOpen()) {
        return false;
    }
    if (!m_threadStarted.load()) {
        char name[64];
        std::snprintf(name, sizeof(name), "BaseIPPTZThread_Ch%u", static_cast<unsigned>(m_channel) + 1);
        m_threadStarted.store(Start(name));
    }
    if (!m_threadStarted.load()) {
        if (m_driver != nullptr) {
            m_driver->DebugMessage(kLevelFailure, "%s: unable to start thread for channel %u",
                                   "brevane::CBasePTZComm::Open", static_cast<unsigned>(m_channel) + 1);
        }
        // A failed start leaves posts accepted by the queue; refuse them.
        Stop();
    }
    return m_threadStarted.load();
}

bool CBasePTZComm::Post(const char* operation, std::int32_t messageId, std::int32_t param1, IIPParams* param2,
                        std::int32_t param3, std::int32_t param4, std::int32_t param5, std::int32_t param6) {
    auto* item = new (std::nothrow) CWorkItem(messageId, param1, param2, param3, param4, param5, param6);
    // PostWorkItem deletes a refused item (a null one included).
    const bool posted = PostWorkItem(item, kMaxQueued);
    if (!posted && m_driver != nullptr) {
        m_driver->DebugMessage(kLevelFailure, "%s: cannot send message (%d) to thread", operation, messageId);
    }
    return posted;
}

std::int32_t CBasePTZComm::StartMove(IIPParams* params, std::int32_t direction, std::int32_t speed) {
    const std::int32_t converted = GetMoveSpeed(direction, speed);
    return Post("brevane::CBasePTZComm::StartMove", PTZ_MSG_MOVE, 0, params, direction, converted) ? PTZ_OK
                                                                                                   : PTZ_ERR_NOT_READY;
}

std::int32_t CBasePTZComm::StartFocus(IIPParams* params, bool nearFocus, std::int32_t speed) {
    const std::int32_t converted = GetFocusSpeed(speed);
    return Post("brevane::CBasePTZComm::StartFocus", PTZ_MSG_FOCUS, nearFocus ? PTZ_FOCUS_NEAR : PTZ_FOCUS_FAR,
                params, converted)
               ? PTZ_OK
               : PTZ_ERR_NOT_READY;
}

std::int32_t CBasePTZComm::StartIris(IIPParams* params, bool open, std::int32_t speed) {
    const std::int32_t converted = GetIrisSpeed(speed);
    return Post("brevane::CBasePTZComm::StartIris", PTZ_MSG_IRIS, open ? PTZ_IRIS_OPEN : PTZ_IRIS_CLOSE, params,
                converted)
               ? PTZ_OK
               : PTZ_ERR_NOT_READY;
}

std::int32_t CBasePTZComm::AreaZoom(IIPParams* params, std::int32_t a, std::int32_t b, std::int32_t c,
                                    std::int32_t d) {
    return Post("brevane::CBasePTZComm::AreaZoom", PTZ_MSG_AREA_ZOOM, 0, params, a, b, c, d) ? PTZ_OK
                                                                                             : PTZ_ERR_NOT_READY;
}

std::int32_t CBasePTZComm::Unzoom(IIPParams* params, std::int32_t a) {
    return Post("brevane::CBasePTZComm::Unzoom", PTZ_MSG_UNZOOM, 0, params, a) ? PTZ_OK : PTZ_ERR_NOT_READY;
}

std::int32_t CBasePTZComm::Center(IIPParams* params, std::int32_t a, std::int32_t b, std::int32_t c) {
    return Post("brevane::CBasePTZComm::Center", PTZ_MSG_CENTER, 0, params, a, b, c) ? PTZ_OK : PTZ_ERR_NOT_READY;
}

bool CBasePTZComm::StopMoving(IIPParams* params) {
    return Post("brevane::CBasePTZComm::StopMoving", PTZ_MSG_STOP, PTZ_STOP_MOVE, params);
}

bool CBasePTZComm::StopZooming(IIPParams* params) {
    return Post("brevane::CBasePTZComm::StopZooming", PTZ_MSG_STOP, PTZ_STOP_ZOOM, params);
}

bool CBasePTZComm::StopFocusing(IIPParams* params) {
    return Post("brevane::CBasePTZComm::StopFocusing", PTZ_MSG_STOP, PTZ_STOP_FOCUS, params);
}

bool CBasePTZComm::StopIrisChanging(IIPParams* params) {
    return Post("brevane::CBasePTZComm::StopIrisChanging", PTZ_MSG_STOP, PTZ_STOP_IRIS, params);
}

void CBasePTZComm::DebugMessage(int level, const char* format, ...) {
    if (m_driver == nullptr || format == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length >= 0) {
        std::unique_ptr<char[]> text(new (std::nothrow) char[static_cast<std::size_t>(length) + 1]);
        if (text) {
            std::vsnprintf(text.get(), static_cast<std::size_t>(length) + 1, format, args);
            m_driver->DebugMessage(level, "%s", text.get());
        }
    }
    va_end(args);
}

}  // namespace brevane
