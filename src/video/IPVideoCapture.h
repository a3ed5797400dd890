// CIPVideoCapture: the video capture object the host drives video through,
// one per opened driver. Holds one slot per video channel the host
// described, creates a channel through the driver's ICustomCreator when the
// host starts it, translates the host's stream settings into StreamParams,
// and stops and destroys channels on request.
//
// Owned by the driver (created by Open, destroyed by Close or the driver's
// destructor; the destructor stops every channel). Called on the host's
// threads: different channel indices may be used from different threads at
// once. The slot table is guarded by m_lock; a channel's own Start, Stop and
// Restart run outside the lock, since they wait for worker threads.
#pragma once

#include <cstdint>
#include <vector>

#include "darvik/IIPVideoCapture.h"
#include "core/IDriver.h"
#include "thread/RecursiveLock.h"
#include "video/ICameraChannel.h"

namespace brevane {

class CIPVideoCapture final : public ipcapture::IIPVideoCapture {
    DARVIK_IMPLEMENT_SLOT0(CIPVideoCapture)

   public:
    CIPVideoCapture(ICustomCreator* creator, std::uint32_t channelCount);
    ~CIPVideoCapture();
    CIPVideoCapture(const CIPVideoCapture&) = delete;
    CIPVideoCapture& operator=(const CIPVideoCapture&) = delete;

    std::uint32_t GetChannelCount() override;
    bool StartChannel(std::uint32_t index, ipcapture::IFrameReceiver* receiver,
                      ipcapture::IStreamSettings* settings) override;
    bool StopChannel(std::uint32_t index) override;
    bool RestartChannel(std::uint32_t index, ipcapture::IResolution* resolution,
                        std::uint32_t frameIntervalMs) override;
    std::int32_t GetExtension() override;
    bool GetChannelStatus(std::uint32_t index, std::int32_t* state, std::int32_t* detail,
                          char* text, std::uint32_t textSize) override;
    bool Unsupported7(std::int32_t, std::int32_t, std::int32_t) override;
    bool Unsupported8(std::int32_t, std::int32_t, std::int32_t) override;

   private:
    static void StopAndDestroy(ICameraChannel* channel);

    ICustomCreator* m_creator;
    CRecursiveLock m_lock;
    std::vector<ICameraChannel*> m_channels GUARDED_BY(m_lock);  // owned, null when empty
};

}  // namespace brevane
