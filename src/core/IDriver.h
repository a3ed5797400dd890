// IDriver: the driver as the module's own objects see it (channels, I/O, PTZ,
// request helper). ICustomCreator: the driver's channel factory, used by the
// video capture object.
//
// Objects hold non-owning pointers to these interfaces; the driver outlives
// them all. The IDriver getters only read fields that Open wrote before any
// worker thread existed, so they are safe from every thread.
#pragma once

#include <cstdint>
#include <utility>

#include "darvik/HostServices.h"
#include "core/DebugMessage.h"
#include "core/DeviceInfo.h"

namespace brevane {

class ICameraChannel;

// Driver stream types.
inline constexpr std::int32_t kStreamTypeMjpeg = 1;
inline constexpr std::int32_t kStreamTypeMpeg = 2;

// Message levels.
inline constexpr int kLevelFailure = 1;
inline constexpr int kLevelState = 3;
inline constexpr int kLevelDiscarded = 4;
inline constexpr int kLevelDriverOpened = 100;

class IDriver : public IDebugMessage {
   public:
    ~IDriver() override = default;

    virtual DEVICE_INFO GetDeviceInfo() = 0;
    // (inputs, outputs) as the host described the device.
    virtual std::pair<std::uint32_t, std::uint32_t> GetIOCounts() = 0;
    virtual ipcapture::IFrameAllocator* GetFrameAllocator() = 0;
    // 1 selects the NTSC tables, 0 the PAL tables.
    virtual std::int32_t IsNtsc() = 0;
    virtual std::int32_t GetStreamType() = 0;
    // Custom parameter by 1-based index, or null. Valid until the driver is
    // opened again or destroyed.
    virtual const char* GetCustomParameter(std::uint32_t index) = 0;
};

class ICustomCreator {
   public:
    virtual ~ICustomCreator() = default;
    // A new, not yet started channel for the driver's stream type, owned by
    // the caller; null for other stream types.
    virtual ICameraChannel* CreateChannel(std::uint32_t channelIndex,
                                          ipcapture::IFrameReceiver* receiver) = 0;
};

}  // namespace brevane
