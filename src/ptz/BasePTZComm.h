// CBasePTZComm: the PTZ command object of one camera channel. Every movement
// request of the PTZ control becomes a work item on this object's queue
// thread ("BaseIPPTZThread_Ch<n>"), so the host's call returns at once; the
// vendor class turns each item into a camera command on that thread. The
// preset commands (IPrepositionComm) bypass the queue and run on the
// caller's thread.
//
// Owned by the PTZ control, which opens it once and stops and deletes it on
// close. Request operations run on the host's threads and touch only the
// queue (guarded by the work-item thread's own lock); ProcessWorkItem runs on
// the queue thread only. DebugMessage is called from both.
#pragma once

#include <atomic>
#include <cstdint>

#include "darvik/IIPPTZ.h"
#include "core/PrintfFormat.h"
#include "presets/PrepositionComm.h"
#include "thread/WorkItemThreadEx.h"

namespace brevane {

class IDriver;

// Message codes of the work items.
inline constexpr std::int32_t PTZ_MSG_MOVE = 1;
inline constexpr std::int32_t PTZ_MSG_FOCUS = 2;
inline constexpr std::int32_t PTZ_MSG_IRIS = 3;
inline constexpr std::int32_t PTZ_MSG_STOP = 4;
inline constexpr std::int32_t PTZ_MSG_AREA_ZOOM = 5;
inline constexpr std::int32_t PTZ_MSG_CENTER = 6;
inline constexpr std::int32_t PTZ_MSG_UNZOOM = 7;

// Sub-codes (m_param1) of the focus, iris and stop messages.
inline constexpr std::int32_t PTZ_FOCUS_FAR = 1;
inline constexpr std::int32_t PTZ_FOCUS_NEAR = 2;
inline constexpr std::int32_t PTZ_IRIS_OPEN = 3;
inline constexpr std::int32_t PTZ_IRIS_CLOSE = 4;
inline constexpr std::int32_t PTZ_STOP_MOVE = 5;
inline constexpr std::int32_t PTZ_STOP_ZOOM = 6;
inline constexpr std::int32_t PTZ_STOP_FOCUS = 7;
inline constexpr std::int32_t PTZ_STOP_IRIS = 8;

class CBasePTZComm : public CWorkItemThreadEx, public IPrepositionComm {
   public:
    // Most requests waiting on the queue; older ones are dropped.
    static constexpr std::uint32_t kMaxQueued = 16;

    // One request, as the queue thread receives it.
    class CWorkItem : public CWorkItemThreadEx::IWorkItem {
       public:
        CWorkItem(std::int32_t messageId, std::int32_t param1, IIPParams* param2, std::int32_t param3,
                  std::int32_t param4, std::int32_t param5, std::int32_t param6)
            : m_messageId(messageId),
              m_param1(param1),
              m_param2(param2),
              m_param3(param3),
              m_param4(param4),
              m_param5(param5),
              m_param6(param6) {}

        std::int32_t m_messageId;
        std::int32_t m_param1;   // sub-code of focus, iris and stop messages
        IIPParams* m_param2;     // the control's parameters, not owned
        std::int32_t m_param3;
        std::int32_t m_param4;
        std::int32_t m_param5;
        std::int32_t m_param6;
    };

    CBasePTZComm(IDriver* driver, std::uint16_t channel);
    // Stops the queue thread if a derived destructor has not done so.
    ~CBasePTZComm() override;

    // Vendor hooks.
    virtual bool CanOpen() = 0;
    virtual std::int32_t GetMoveSpeed(std::int32_t direction, std::int32_t speed) = 0;
    virtual std::int32_t GetFocusSpeed(std::int32_t speed) = 0;
    virtual std::int32_t GetIrisSpeed(std::int32_t speed) = 0;
    virtual std::int32_t CheckReady(IIPParams* params) = 0;

    // Requests: PTZ_OK when queued, PTZ_ERR_NOT_READY when not.
    virtual std::int32_t StartMove(IIPParams* params, std::int32_t direction, std::int32_t speed);
    virtual std::int32_t StartIris(IIPParams* params, bool open, std::int32_t speed);
    virtual std::int32_t StartFocus(IIPParams* params, bool nearFocus, std::int32_t speed);
    virtual std::int32_t AreaZoom(IIPParams* params, std::int32_t a, std::int32_t b, std::int32_t c,
                                  std::int32_t d);
    virtual std::int32_t Unzoom(IIPParams* params, std::int32_t a);
    virtual std::int32_t Center(IIPParams* params, std::int32_t a, std::int32_t b, std::int32_t c);
    // Fills the capability record (kPtzCapabilityWords words).
    virtual std::int32_t GetCapabilities(std::int32_t* record) = 0;
    // Stop requests: true when queued.
    virtual bool StopMoving(IIPParams* params);
    virtual bool StopZooming(IIPParams* params);
    virtual bool StopFocusing(IIPParams* params);
    virtual bool StopIrisChanging(IIPParams* params);

    // Starts the queue thread (once). False when the vendor refuses or the
    // thread cannot start.
    bool Open();
    bool IsThreadStarted() const { return m_threadStarted.load(); }
    // Stops the queue thread if it was started; queued requests are dropped.
    void StopThread();

    std::uint32_t GetMaxPrepositions() const { return m_maxPrepositions; }
    std::uint16_t GetChannel() const { return m_channel; }

    // Formats the line completely and hands the finished text to the driver.
    void DebugMessage(int level, const char* format, ...) override
        DARVIK_PRINTF_FORMAT(3, 4)
        ;

   protected:
    // Queues one request; logs the refusal with the operation's name.
    bool Post(const char* operation, std::int32_t messageId, std::int32_t param1, IIPParams* param2,
              std::int32_t param3 = 0, std::int32_t param4 = 0, std::int32_t param5 = 0, std::int32_t param6 = 0);

    // Presets the camera can store; set by the vendor constructor.
    std::uint32_t m_maxPrepositions = 0;
    const std::uint16_t m_channel;
    IDriver* const m_driver;
    std::atomic<bool> m_threadStarted{false};
};

}  // namespace brevane
