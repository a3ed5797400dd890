#include "ptz/DarvikPTZComm.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "core/IDriver.h"
#include "core/UserAgent.h"
#include "http/Utils.h"

namespace brevane {
namespace {

// Commands of the move message, by direction (0 to 9).
constexpr const char* kMoveCommands[] = {
    "/cgi-bin/set?p_panl=%d",           "/cgi-bin/set?p_panr=%d",           "/cgi-bin/set?p_tilu=%d",
    "/cgi-bin/set?p_tild=%d",           "/cgi-bin/set?p_panl=%d&p_tilu=%d", "/cgi-bin/set?p_panr=%d&p_tilu=%d",
    "/cgi-bin/set?p_panl=%d&p_tild=%d", "/cgi-bin/set?p_panr=%d&p_tild=%d", "/cgi-bin/set?p_zomi=%d",
    "/cgi-bin/set?p_zomo=%d",
};

// Commands of the focus, iris and stop messages, by sub-code (1 to 8).
constexpr const char* kSubCodeCommands[] = {
    "/cgi-bin/set?p_fcsf=1", "/cgi-bin/set?p_fcsn=1", "/cgi-bin/set?p_irso=1", "/cgi-bin/set?p_irsc=1",
    "/cgi-bin/set?p_ptms=1", "/cgi-bin/set?p_zoms=1", "/cgi-bin/set?p_fcss=1", "/cgi-bin/set?p_irss=1",
};

DEVICE_INFO DeviceInfoOf(IDriver* driver) { return driver != nullptr ? driver->GetDeviceInfo() : DEVICE_INFO(); }

}  // namespace

CDarvikPTZComm::CDarvikPTZComm(IDriver* driver, std::uint16_t channel)
    : CBasePTZComm(driver, channel), m_httpClient(DeviceInfoOf(driver), kHttpUserAgent) {
    m_maxPrepositions = kMaxPrepositions;
}

CDarvikPTZComm::~CDarvikPTZComm() {
    // The queue thread calls ProcessWorkItem and uses the client: it must end
    // while both still exist.
    StopThread();
}

std::int32_t CDarvikPTZComm::GetMoveSpeed(std::int32_t direction, std::int32_t speed) {
    const double max = (direction == PTZ_DIR_ZOOM_IN || direction == PTZ_DIR_ZOOM_OUT) ? 29.0 : 14.0;
    const double scaled = std::trunc(max * (static_cast<double>(speed) - 1.0) / 15.0);
    // Speeds far outside 1..16 are passed on unclamped, within what an int holds.
    constexpr double kLow = std::numeric_limits<std::int32_t>::min() + 1.0;
    constexpr double kHigh = std::numeric_limits<std::int32_t>::max() - 1.0;
    return static_cast<std::int32_t>(scaled < kLow ? kLow : (scaled > kHigh ? kHigh : scaled)) + 1;
}

std::int32_t CDarvikPTZComm::GetCapabilities(std::int32_t* record) {
    if (record == nullptr) {
        return PTZ_ERR_INVALID_ARGUMENT;
    }
    for (std::uint32_t word = 1; word < kPtzCapabilityWords; ++word) {
        record[word] = word <= 5 ? 1 : 0;
    }
    return PTZ_OK;
}

std::string CDarvikPTZComm::CommandFor(const CWorkItem& item) {
    char command[96] = "";
    switch (item.m_messageId) {
        case PTZ_MSG_MOVE:
            if (item.m_param3 >= 0 && item.m_param3 <= 9) {
                // The diagonal commands take the same speed twice.
                std::snprintf(command, sizeof(command), kMoveCommands[item.m_param3], item.m_param4, item.m_param4);
            }
            break;
        case PTZ_MSG_FOCUS:
        case PTZ_MSG_IRIS:
        case PTZ_MSG_STOP: {
            const std::int32_t first = item.m_messageId == PTZ_MSG_FOCUS  ? PTZ_FOCUS_FAR
                                       : item.m_messageId == PTZ_MSG_IRIS ? PTZ_IRIS_OPEN
                                                                          : PTZ_STOP_MOVE;
            const std::int32_t last = item.m_messageId == PTZ_MSG_FOCUS  ? PTZ_FOCUS_NEAR
                                      : item.m_messageId == PTZ_MSG_IRIS ? PTZ_IRIS_CLOSE
                                                                         : PTZ_STOP_IRIS;
            if (item.m_param1 >= first && item.m_param1 <= last) {
                return kSubCodeCommands[item.m_param1 - 1];
            }
            break;
        }
        default:
            break;
    }
    return command;
}

void CDarvikPTZComm::ProcessWorkItem(IWorkItem* item) {
    const auto* request = dynamic_cast<CWorkItem*>(item);
    if (request == nullptr) {
        return;
    }
    switch (request->m_messageId) {
        case PTZ_MSG_MOVE:
        case PTZ_MSG_FOCUS:
        case PTZ_MSG_IRIS:
        case PTZ_MSG_STOP:
            // A direction or sub-code without a command still goes out as
            // an empty command, which fails and is logged.
            SendCommand(CommandFor(*request));
            break;
        default:
            break;  // area zoom, center and unzoom: the camera has no command
    }
}

bool CDarvikPTZComm::SendCommand(const std::string& command) {
    bool sent = false;
    {
        CLockGuard guard(m_sendLock);
        std::vector<std::uint8_t> reply;
        sent = Utils::SendRequestEx(command, reply, m_httpClient, m_driver);
    }
    if (!sent && m_driver != nullptr) {
        m_driver->DebugMessage(kLevelFailure, "%s Could not send command, %s", "brevane::CDarvikPTZComm::SendCommand",
                               command.c_str());
    }
    return sent;
}

bool CDarvikPTZComm::SavePreposition(std::uint32_t number, const char*) {
    return SendCommand("/cgi-bin/set?p_prss=" + std::to_string(static_cast<std::int32_t>(number)));
}

bool CDarvikPTZComm::MoveToPreposition(std::uint32_t number, const char*, std::int32_t) {
    return SendCommand("/cgi-bin/set?p_prsm=" + std::to_string(static_cast<std::int32_t>(number)));
}

bool CDarvikPTZComm::DeletePreposition(std::uint32_t number, const char*) {
    return SendCommand("/cgi-bin/set?p_prsd=" + std::to_string(static_cast<std::int32_t>(number)));
}

}  // namespace brevane
