#include "io/DarvikDigitalIO.h"

#include <algorithm>
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

constexpr const char* kReadInputs = "brevane::CDarvikDigitalIO::ReadInputs";
constexpr const char* kWriteOutput = "brevane::CDarvikDigitalIO::WriteOutput";

}  // namespace

CDarvikDigitalIO::CDarvikDigitalIO(IDriver* driver)
    : CIOBase(driver),
      m_outputClient(DeviceOf(driver), kHttpUserAgent),
      m_inputClient(DeviceOf(driver), kHttpUserAgent) {}

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
    if (!Utils::SendRequestEx(path, reply, m_outputClient, nullptr)) {
        if (m_outputClient.IsAborted()) {
            return false;  // stopped on purpose: nothing to tell
        }
        m_outputReport.Report(
            GetDriver(), RequestFailure(m_outputClient),
            Utils::Format("%s: Camera %s:%u did not set output %lld: %s", kWriteOutput,
                          m_outputClient.GetHost().c_str(),
                          static_cast<unsigned>(m_outputClient.GetPort()),
                          static_cast<long long>(outputIndex) + 1,
                          RequestFailure(m_outputClient).c_str()));
        return false;
    }
    m_outputReport.Forget();
    return true;
}

std::string CDarvikDigitalIO::RequestFailure(const Web::CHttpClient& client) {
    // An answer with a good status whose body was empty or cut short.
    return client.GetLastFailure() == Web::Failure::None ? std::string("incorrect reply")
                                                         : client.DescribeLastFailure();
}

void CDarvikDigitalIO::ReportInputFailure(const std::string& cause) {
    // A stop aborts the exchange on purpose: nothing to tell.
    if (m_inputClient.IsAborted()) {
        return;
    }
    m_inputReport.Report(GetDriver(), cause,
                         Utils::Format("%s: Camera %s:%u did not report its inputs: %s", kReadInputs,
                                       m_inputClient.GetHost().c_str(),
                                       static_cast<unsigned>(m_inputClient.GetPort()),
                                       cause.c_str()));
}

bool CDarvikDigitalIO::ReadInputs(std::int32_t /*inputCount*/) {
    std::vector<std::uint8_t> reply;
    {
        MutexLock exchange(m_inputExchange);
        if (!Utils::SendRequestEx("/cgi-bin/get?sys", reply, m_inputClient, nullptr)) {
            ReportInputFailure(RequestFailure(m_inputClient));
            return false;
        }
    }
    // The reply is zero-terminated text.
    const std::string_view text(reinterpret_cast<const char*>(reply.data()));
    const std::string status =
        text.empty() ? std::string() : Utils::GetParameter("s_ssta", ":", text, "\r\n");
    if (status.empty()) {
        MutexLock exchange(m_inputExchange);
        ReportInputFailure("reply without input states (s_ssta)");
        return false;
    }
    m_inputReport.Forget();
    // Inputs beyond the tracked ones would be dropped anyway; a status of a
    // megabyte is not walked to its end.
    const std::int32_t count = GetInputCount();
    const std::uint32_t covered =
        count <= 0 ? 0u : std::min({static_cast<std::uint32_t>(count), kMaxTrackedPorts,
                                    static_cast<std::uint32_t>(status.size())});
    for (std::uint32_t i = 0; i < covered; ++i) {
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
