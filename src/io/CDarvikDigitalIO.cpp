#include "io/CDarvikDigitalIO.h"

#include <string>
#include <string_view>
#include <vector>

#include "core/IDriver.h"
#include "http/Utils.h"

namespace brevane {
namespace {

DEVICE_INFO DeviceOf(IDriver* driver) {
    return driver != nullptr ? driver->GetDeviceInfo() : DEVICE_INFO{};
}

}  // namespace

CDarvikDigitalIO::CDarvikDigitalIO(IDriver* driver)
    : CIOBase(driver),
      m_outputClient(DeviceOf(driver), kUserAgent),
      m_inputClient(DeviceOf(driver), kUserAgent) {}

CDarvikDigitalIO::~CDarvikDigitalIO() {
    // The workers call WriteOutput and ReadInputs, which use the clients.
    // Aborting the clients first ends a request to a camera that does not
    // answer at once, so the driver's Close is not held up by it; the
    // failure this causes is nobody's business, so the sink goes first.
    DropEventSink();
    m_outputClient.Abort();
    m_inputClient.Abort();
    StopThreads();
}

bool CDarvikDigitalIO::WriteOutput(std::int32_t outputIndex, std::int32_t value) {
    if (value == 0) {
        return false;
    }
    // Outputs are numbered from 1 at the camera, from 0 at the host.
    const std::string path = Utils::Format("/cgi-bin/set?a_aoa%lld=%d",
                                           static_cast<long long>(outputIndex) + 1, value);
    std::vector<std::uint8_t> reply;
    MutexLock exchange(m_outputExchange);
    return Utils::SendRequestEx(path, reply, m_outputClient, nullptr);
}

bool CDarvikDigitalIO::ReadInputs(std::int32_t /*inputCount*/) {
    std::vector<std::uint8_t> reply;
    {
        MutexLock exchange(m_inputExchange);
        if (!Utils::SendRequestEx("/cgi-bin/get?sys", reply, m_inputClient, nullptr)) {
            return false;
        }
    }
    // The reply is zero-terminated text.
    const std::string_view text(reinterpret_cast<const char*>(reply.data()));
    if (text.empty()) {
        return false;
    }
    const std::string status = Utils::GetParameter("s_ssta", ":", text, "\r\n");
    if (status.empty()) {
        return false;
    }
    for (std::uint32_t i = 0; i < status.size(); ++i) {
        const std::int32_t count = GetInputCount();
        if (count <= 0 || i >= static_cast<std::uint32_t>(count)) {
            break;
        }
        std::int32_t state = 0;
        if (status[i] == '0') {
            state = ipcapture::kIoStateLow;
        } else if (status[i] == '1') {
            state = ipcapture::kIoStateHigh;
        } else {
            continue;
        }
        if (StoreInputState(i, state)) {
            NotifyInputChanged(i, state);
        }
    }
    return true;
}

}  // namespace brevane
