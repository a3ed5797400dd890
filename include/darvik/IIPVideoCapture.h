// The video capture interface of a driver (IIPCaptureDriver::GetVideoCapture).
//
// Owned by the driver; valid from Open until Close or deletion. Called on the
// host's threads; different channel indices may be used from different
// threads at once.
#pragma once

#include <cstdint>

#include "darvik/Contract.h"
#include "darvik/HostServices.h"

namespace brevane::ipcapture {

// Channel states reported by GetChannelStatus.
inline constexpr std::int32_t kChannelRunning = 0;
inline constexpr std::int32_t kChannelConnecting = 1;
inline constexpr std::int32_t kChannelSignalLost = 2;
inline constexpr std::int32_t kChannelStopped = 3;

class IIPVideoCapture {
    DARVIK_CONTRACT_SLOT0();
    virtual std::uint32_t DARVIK_SLOT GetChannelCount() = 0;                                   // 1
    virtual bool DARVIK_SLOT StartChannel(std::uint32_t index, IFrameReceiver* receiver,
                              IStreamSettings* settings) = 0;                      // 2
    virtual bool DARVIK_SLOT StopChannel(std::uint32_t index) = 0;                             // 3
    virtual bool DARVIK_SLOT RestartChannel(std::uint32_t index, IResolution* resolution,
                                std::uint32_t frameIntervalMs) = 0;                // 4
    virtual std::int32_t DARVIK_SLOT GetExtension() = 0;                                       // 5: always 0
    virtual bool DARVIK_SLOT GetChannelStatus(std::uint32_t index, std::int32_t* state,
                                  std::int32_t* detail, char* text,
                                  std::uint32_t textSize) = 0;                     // 6
    virtual bool DARVIK_SLOT Unsupported7(std::int32_t, std::int32_t, std::int32_t) = 0;       // 7: false
    virtual bool DARVIK_SLOT Unsupported8(std::int32_t, std::int32_t, std::int32_t) = 0;       // 8: false

   protected:
    ~IIPVideoCapture() = default;
};

}  // namespace brevane::ipcapture
