#include "driver/IPCaptureDriver.h"

#include <cstdio>
#include <memory>
#include <new>
#include <tuple>

#include "driver/DebugInfo.h"
#include "video/IPVideoCapture.h"

namespace brevane {
namespace {

using ipcapture::IConnectionSettings;
using ipcapture::IDeviceDescription;
using ipcapture::IOpenParameters;

// Host texts may be null; they are taken as empty.
const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

CIPCaptureDriver::~CIPCaptureDriver() { Close(); }

bool CIPCaptureDriver::Open(ipcapture::IMessageSink* sink, ipcapture::IFrameAllocator* allocator,
                            IOpenParameters* parameters) {
    try {
        if (!OpenSettings(sink, allocator, parameters)) {
            return false;
        }
        if (!CreateIO() || !CreatePTZ()) {
            return false;
        }
        IDeviceDescription* device = parameters->GetDeviceDescription();
        if (device == nullptr) {
            return false;
        }
        m_videoCapture = CreateVideoCapture(device->GetChannelCount());
        return true;
    } catch (...) {
        // Nothing may leave the module through the host's call.
        return false;
    }
}

// Copies the host's settings. The host's objects are asked afresh for every
// value, as they may be views onto the host's live configuration.
bool CIPCaptureDriver::OpenSettings(ipcapture::IMessageSink* sink,
                                    ipcapture::IFrameAllocator* allocator,
                                    IOpenParameters* parameters) {
    if (parameters == nullptr) {
        return false;
    }
    auto connection = [parameters]() -> IConnectionSettings* {
        return parameters->GetConnectionSettings();
    };
    auto device = [parameters]() -> IDeviceDescription* {
        return parameters->GetDeviceDescription();
    };
    if (connection() == nullptr || device() == nullptr) {
        return false;
    }

    m_streamType = connection()->GetStreamType();
    m_messageSink = sink;
    m_frameAllocator = allocator;
    m_inputCount = device()->GetInputCount();
    m_outputCount = device()->GetOutputCount();

    m_deviceInfo.address = TextOrEmpty(connection()->GetAddress());
    m_deviceInfo.port = connection()->GetPort();
    m_deviceInfo.userName = TextOrEmpty(connection()->GetUserName());
    m_deviceInfo.password = TextOrEmpty(connection()->GetPassword());

    // The list is replaced as a whole: a parameter the host no longer gives
    // must not survive from an earlier Open.
    m_customParameters.clear();
    for (std::uint32_t index = 1; index <= kMaxCustomParameters; ++index) {
        const char* text = parameters->GetCustomParameterText(index);
        if (text == nullptr) {
            break;
        }
        m_customParameters[index] = text;
    }

    m_hostVersion = platform::ReadHostModuleVersion().value_or(kDefaultHostVersion);
    return true;
}

ipcapture::IIPVideoCapture* CIPCaptureDriver::CreateVideoCapture(std::uint32_t channelCount) {
    return new (std::nothrow) CIPVideoCapture(this, channelCount);
}

void CIPCaptureDriver::Close() {
    // Video first: its channels' threads use this driver until they end.
    contract::DestroyContractObject(m_videoCapture);
    m_videoCapture = nullptr;
    contract::DestroyContractObject(m_captureIO);
    m_captureIO = nullptr;
    contract::DestroyContractObject(m_ptzHandler);
    m_ptzHandler = nullptr;
}

const char* CIPCaptureDriver::GetCustomParameter(std::uint32_t index) {
    const auto found = m_customParameters.find(index);
    return found != m_customParameters.end() ? found->second.c_str() : nullptr;
}

std::int8_t CIPCaptureDriver::MapLevel(int level, const platform::ProductVersion& hostVersion) {
    const auto version = std::make_tuple(hostVersion.major, hostVersion.minor);
    if (level == kLevelState || level == kLevelDriverOpened) {
        if (version < std::make_tuple(std::uint16_t{5}, std::uint16_t{12})) {
            level = 2;
        } else if (version < std::make_tuple(std::uint16_t{6}, std::uint16_t{3})) {
            level = kLevelState;
        }
    }
    return static_cast<std::int8_t>(level);
}

void CIPCaptureDriver::DebugMessage(int level, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    DeliverMessage(level, format, arguments);
    va_end(arguments);
}

void CIPCaptureDriver::DeliverMessage(int level, const char* format, std::va_list arguments) {
    if (format == nullptr) {
        return;
    }
    // Measure, then format into an allocation of exactly that size: lines
    // have no length limit.
    std::va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length < 0) {
        return;
    }
    const std::size_t size = static_cast<std::size_t>(length) + 1;
    std::unique_ptr<char[]> line(new (std::nothrow) char[size]);
    if (!line) {
        return;
    }
    std::vsnprintf(line.get(), size, format, arguments);

    if (level == kLevelDiscarded) {
        return;
    }
    ipcapture::IMessageSink* sink = m_messageSink;
    if (sink == nullptr) {
        return;
    }
    CDebugInfo message(line.get(), MapLevel(level, m_hostVersion));
    try {
        sink->OnMessage(&message);
    } catch (...) {
        // A throwing sink must not take down the reporting thread.
    }
}

}  // namespace brevane
