// ICameraChannel: one video stream of a camera, fetched on a worker thread of
// its own and handed to the host's frame receiver.
//
// Made by the driver's ICustomCreator and owned by the video capture object,
// which calls Start, Stop, Restart and GetState on the host's threads and
// destroys the channel only after Stop. SetState is called by the channel's
// own worker as well.
#pragma once

#include <cstdint>

#include "video/StreamParams.h"

namespace brevane {

// Channel states, as GetChannelStatus reports them to the host.
inline constexpr std::int32_t CHANNEL_RUNNING = 0;
inline constexpr std::int32_t CHANNEL_CONNECTING = 1;
inline constexpr std::int32_t CHANNEL_SIGNAL_LOST = 2;
inline constexpr std::int32_t CHANNEL_STOPPED = 3;

class ICameraChannel {
   public:
    virtual ~ICameraChannel() = default;
    // Stops a running worker, takes the parameters and starts a new worker.
    // False when no worker could be started.
    virtual bool Start(const StreamParams& params) = 0;
    // Ends the worker; when Stop returns, no frame of this channel reaches
    // the host any more.
    virtual void Stop() = 0;
    // Like Start, but keeps the quality of the previous Start.
    virtual bool Restart(const StreamParams& params) = 0;
    virtual std::int32_t GetState() = 0;
    virtual void SetState(std::int32_t state) = 0;
};

}  // namespace brevane
