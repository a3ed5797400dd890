// The video capture interface of a driver (IIPCaptureDriver::GetVideoCapture).
//
// Owned by the driver; valid from Open until Close or deletion. Called on the
// host's threads; different channel indices may be used from different
// threads at once.
// For one index the host must not call StopChannel or StartChannel while
// another of its threads is inside RestartChannel or GetChannelStatus for
// the same index. Each started channel has a worker thread of its own that
// talks to the camera and calls the host's allocator, frames and receiver
// (HostServices.h); a broken stream is reconnected by the worker itself.
#pragma once

#include <cstdint>

#include "darvik/Contract.h"
#include "darvik/HostServices.h"

namespace brevane::ipcapture {

// Channel states reported by GetChannelStatus.
inline constexpr std::int32_t kChannelRunning = 0;     // pictures are arriving
inline constexpr std::int32_t kChannelConnecting = 1;  // the worker is connecting
inline constexpr std::int32_t kChannelSignalLost = 2;  // the stream broke; retrying
inline constexpr std::int32_t kChannelStopped = 3;     // not running, or its start failed

class IIPVideoCapture {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. @return the number of channels, as the device description
    // gave it at Open, whether or not any channel runs. Valid indices are
    // 0 .. count-1.
    virtual std::uint32_t DARVIK_SLOT GetChannelCount() = 0;                                   // 1
    // Slot 2. Starts streaming one channel, of the driver's stream type
    // (1 MJPEG, 2 MPEG-4). A channel already running on that index is
    // stopped and destroyed first. Returns once the worker thread runs; the
    // camera is contacted on that thread, so a camera that cannot be reached
    // shows in the channel state and the message log, not in the result.
    // @param index     channel index, below GetChannelCount().
    // @param receiver  gets every picture of the channel (and, for MPEG-4,
    //                  signal-lost notices) on the channel's worker thread.
    //                  Kept, not owned; must live until the channel is
    //                  stopped.
    // @param settings  picture size, frame interval and quality; read during
    //                  the call only.
    // @return true when the channel's worker started, and also when the
    //         driver's stream type has no channel kind (then nothing runs
    //         and GetChannelStatus gives false). False for an index out of
    //         range (nothing changes) or when the worker thread could not
    //         start (the channel then stays in its slot with state
    //         kChannelStopped until it is stopped).
    virtual bool DARVIK_SLOT StartChannel(std::uint32_t index, IFrameReceiver* receiver,
                              IStreamSettings* settings) = 0;                      // 2
    // Slot 3. Stops a channel: ends its stream, waits for its worker and
    // destroys it. A request in progress ends within the 5 s time-out; a
    // worker still inside a call to the host after twice that is reported
    // (a level-1 line) and waited for further, never killed. So it must not
    // be called from inside the channel's own receiver or frame calls. When
    // it returns the channel's receiver and frames are not called again.
    // @param index  channel index.
    // @return true when a channel was there and is stopped; false for an
    //         empty slot or an index out of range.
    virtual bool DARVIK_SLOT StopChannel(std::uint32_t index) = 0;                             // 3
    // Slot 4. Changes a channel's picture size and frame interval: its
    // worker is stopped (as StopChannel waits) and a new one connects with
    // the new values, keeping the channel's quality and receiver.
    // @param index            channel index.
    // @param resolution       the new picture size; read during the call.
    // @param frameIntervalMs  the new time between pictures, milliseconds.
    // @return true when the new worker started; false when it could not
    //         start, for an empty slot or for an index out of range.
    virtual bool DARVIK_SLOT RestartChannel(std::uint32_t index, IResolution* resolution,
                                std::uint32_t frameIntervalMs) = 0;                // 4
    // Slot 5. Reserved. @return 0, always; no effect.
    virtual std::int32_t DARVIK_SLOT GetExtension() = 0;                                       // 5: always 0
    // Slot 6. Reads a channel's state.
    // @param index     channel index.
    // @param state     receives kChannelRunning, kChannelConnecting,
    //                  kChannelSignalLost or kChannelStopped; written only
    //                  when the result is true.
    // @param detail    receives 0, always.
    // @param text      a buffer of the host; made an empty text whenever
    //                  textSize is above 0 and text is not null. May be null.
    // @param textSize  the buffer's size in bytes; 0 leaves it untouched.
    // @return true when a channel is in that slot; false for an empty slot
    //         or an index out of range (state is not written).
    virtual bool DARVIK_SLOT GetChannelStatus(std::uint32_t index, std::int32_t* state,
                                  std::int32_t* detail, char* text,
                                  std::uint32_t textSize) = 0;                     // 6
    // Slots 7 and 8. Not supported: the arguments are ignored.
    // @return false, always; no effect.
    virtual bool DARVIK_SLOT Unsupported7(std::int32_t, std::int32_t, std::int32_t) = 0;       // 7: false
    virtual bool DARVIK_SLOT Unsupported8(std::int32_t, std::int32_t, std::int32_t) = 0;       // 8: false

   protected:
    ~IIPVideoCapture() = default;
};

}  // namespace brevane::ipcapture
