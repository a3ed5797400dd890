// CIPCaptureDriver: the driver object of one camera, apart from what depends
// on the camera vendor. It keeps what the host said about the camera at Open,
// owns the video capture, digital I/O and PTZ objects, and serves the
// module's own objects through IDriver (connection data, frame allocator,
// stream type, video standard, custom parameters, log lines).
//
// Created by the Create exports and destroyed through slot 0 by the Delete
// exports. Open, Close and destruction run on one host thread and take no
// lock; the IDriver operations are called from every thread of the module
// and only read fields Open wrote before any of those threads existed.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "darvik/IIPCaptureDriver.h"
#include "core/DeviceInfo.h"
#include "core/IDriver.h"
#include "core/PrintfFormat.h"
#include "platform/HostVersion.h"

namespace brevane {

class CIPCaptureDriver : public ipcapture::IIPCaptureDriverEx, public IDriver, public ICustomCreator {
    DARVIK_IMPLEMENT_SLOT0(CIPCaptureDriver)

   public:
    // Assumed when the host module's version cannot be read.
    static constexpr platform::ProductVersion kDefaultHostVersion{5, 12, 0, 0};
    // Open takes at most this many custom parameters, so a host that never
    // answers null cannot make it loop for ever.
    static constexpr std::uint32_t kMaxCustomParameters = 1024;

    CIPCaptureDriver() = default;
    CIPCaptureDriver(const CIPCaptureDriver&) = delete;
    CIPCaptureDriver& operator=(const CIPCaptureDriver&) = delete;

    // Host-facing operations, slots 1 to 6.
    bool Open(ipcapture::IMessageSink* sink, ipcapture::IFrameAllocator* allocator,
              ipcapture::IOpenParameters* parameters) override;
    void Close() override;
    ipcapture::IIPVideoCapture* GetVideoCapture() override { return m_videoCapture; }
    ICaptureIOApi* GetCaptureIO() override { return m_captureIO; }
    void* GetExtraInterface() override { return nullptr; }
    IIPPTZDriver* GetPTZDriver() override { return m_ptzHandler; }

    // Slots 7 and 8 of the main table: the vendor's I/O and PTZ objects.
    // Each returns false when its object already exists or cannot be made.
    virtual bool CreateIO() = 0;
    virtual bool CreatePTZ() = 0;

    // Declared after CreateIO and CreatePTZ so that the destructor's table
    // entries follow theirs.
    ~CIPCaptureDriver() override;

    // IDriver.
    void DebugMessage(int level, const char* format, ...) override
        DARVIK_PRINTF_FORMAT(3, 4)
        ;
    DEVICE_INFO GetDeviceInfo() override { return m_deviceInfo; }
    std::pair<std::uint32_t, std::uint32_t> GetIOCounts() override {
        return {m_inputCount, m_outputCount};
    }
    ipcapture::IFrameAllocator* GetFrameAllocator() override { return m_frameAllocator; }
    std::int32_t IsNtsc() override { return m_ntsc; }
    std::int32_t GetStreamType() override { return m_streamType; }
    const char* GetCustomParameter(std::uint32_t index) override;

    // The level a line reaches the host with, for the host's version: older
    // hosts know neither level 3 nor level 100.
    static std::int8_t MapLevel(int level, const platform::ProductVersion& hostVersion);

    const platform::ProductVersion& HostVersion() const { return m_hostVersion; }

   protected:
    // Formats a printf-style line and hands it to the host's sink.
    void DeliverMessage(int level, const char* format, std::va_list arguments);

    ipcapture::IMessageSink* m_messageSink = nullptr;        // not owned
    ipcapture::IFrameAllocator* m_frameAllocator = nullptr;  // not owned
    DEVICE_INFO m_deviceInfo;
    std::uint32_t m_inputCount = 0;
    std::uint32_t m_outputCount = 0;
    std::int32_t m_streamType = 0;
    std::int32_t m_ntsc = 0;
    std::map<std::uint32_t, std::string> m_customParameters;
    platform::ProductVersion m_hostVersion{};
    ICaptureIOApi* m_captureIO = nullptr;                    // owned
    ipcapture::IIPVideoCapture* m_videoCapture = nullptr;    // owned
    IIPPTZDriver* m_ptzHandler = nullptr;                    // owned

   private:
    bool OpenSettings(ipcapture::IMessageSink* sink, ipcapture::IFrameAllocator* allocator,
                      ipcapture::IOpenParameters* parameters);
    ipcapture::IIPVideoCapture* CreateVideoCapture(std::uint32_t channelCount);
};

}  // namespace brevane
