// CCapabilityQueryModule: one capability query of the host
// (IIPCapabilityQuery). Start checks the request, creates the vendor's
// properties object and starts the capability fetching thread, which lets
// that object query the camera, write its findings into the host's sink and
// then tells the host's callback how the query ended, with a fixed message
// and an error code when it failed. One query per module.
//
// The fetching thread never touches the module: it works on a QueryContext
// shared with the module (connection data, properties object, sink,
// callback, flags), which the last of the two to let go frees. Destroying a
// module terminates its query and waits up to twice the time-out for it to
// report; a query that has not reported by then is abandoned: the thread
// makes no further camera request and no further host call, the host hears
// OnQueryAborted() from the destroying thread, and the thread is left to end
// on its own.
//
// Owned by the host (CreateCapabilityQueryModule / DeleteCapabilityQueryModule)
// or by the module-wide single instance. Start, Terminate and destruction run
// on the host's thread; the callbacks, apart from OnQueryAborted, come on the
// fetching thread and must not call back into the module.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "capability/CameraProperties.h"
#include "darvik/IIPCapabilityQuery.h"
#include "core/DeviceInfo.h"
#include "core/Mutex.h"
#include "platform/Thread.h"
#include "thread/RecursiveLock.h"
#include "thread/SmartPtr.h"

namespace brevane {

class CCapabilityQueryModule : public ipcapture::IIPCapabilityQuery {
    DARVIK_IMPLEMENT_SLOT0(CCapabilityQueryModule)

   public:
    // Error codes given to OnQueryFailed (besides Fetch's own codes).
    static constexpr std::int32_t kErrorInvalidAddress = 0;
    static constexpr std::int32_t kErrorInternal = 3;

    static constexpr const char* kMessageInvalidAddress =
        "Failed to start capability fetching thread. Device address is invalid!";
    static constexpr const char* kMessageInternalError =
        "Failed to start capability fetching thread. Internal error occurs";
    static constexpr const char* kMessageFetchFailed = "Failed to get camera properties";
    static constexpr const char* kMessageLoginFailed = ", login failed (invalid credentials)";
    static constexpr const char* kMessageOffline =
        ", device is offline or is located in unaccessible subnet";
    static constexpr const char* kMessageSaveFailed = "Failed to save capability query results";

    // Characters that make an address invalid.
    static constexpr std::string_view kInvalidAddressCharacters = "@#$%^&*(){}[]/\\+=|:;,~'\"!?";

    static constexpr std::uint32_t kDefaultTimeoutMs = 5000;

    // How the fetching thread ended.
    enum class ThreadResult : std::uint32_t {
        Running = 0xFFFFFFFFu,
        Finished = 0,            // the query ran to its end (reported or abandoned)
        Failed = 0x123456,       // an exception ended it; nothing was reported
    };

    // Shared by the module and its fetching thread. The fields above the
    // flags are fixed before the thread starts.
    struct QueryContext {
        QueryContext();
        ~QueryContext();
        QueryContext(const QueryContext&) = delete;
        QueryContext& operator=(const QueryContext&) = delete;

        DEVICE_INFO device;
        TSmartPtr<CCameraPropertiesEx> properties;
        ipcapture::ICapabilitySink* sink = nullptr;              // not owned
        ipcapture::ICapabilityQueryCallback* callback = nullptr;  // not owned
        // Guards the three flags below; never held across a host call.
        Mutex hostCallLock;
        std::condition_variable hostCallEnded;
        // The thread is inside a call to the host's objects.
        bool inHostCall GUARDED_BY(hostCallLock) = false;
        // Set by a destroying module: no camera request and no host call
        // from here on.
        std::atomic<bool> abandoned{false};  // written under hostCallLock
        // Set by the thread as it begins its final callback.
        std::atomic<bool> reported{false};   // written under hostCallLock
        // Set as the thread ends, which then signals hostCallEnded.
        std::atomic<ThreadResult> result{ThreadResult::Running};
    };

    // callback: the host's, may be null. flag: nonzero becomes 1.
    // timeoutMs: the HTTP time-out of the query; doubled, the longest wait
    // for the fetching thread at destruction.
    CCapabilityQueryModule(ipcapture::ICapabilityQueryCallback* callback, std::int32_t flag,
                           std::uint32_t timeoutMs = kDefaultTimeoutMs);
    CCapabilityQueryModule(const CCapabilityQueryModule&) = delete;
    CCapabilityQueryModule& operator=(const CCapabilityQueryModule&) = delete;

    // Slot 1: 1 when the fetching thread was started, 0 otherwise (a second
    // Start, a null sink or text, a time-out of 0, no properties object, no
    // thread). Refusals are not followed by a callback.
    std::int32_t Start(const char* address, std::int32_t port, const char* userName,
                       const char* password, ipcapture::ICapabilitySink* sink) override;
    // Slot 2: asks a running query to start no further camera request;
    // returns at once.
    void Terminate() override;

    // Slot 3: a new properties object for the module's device and flag, or
    // null.
    virtual CCameraPropertiesEx* CreateProperties() = 0;

    // Declared after CreateProperties so that its table entries follow.
    virtual ~CCapabilityQueryModule();

    // The body of the fetching thread.
    static void Run(QueryContext& context);
    // True when the address contains a character of the invalid set.
    static bool IsInvalidAddress(std::string_view address);

    std::int32_t Flag() const { return m_flag; }
    const DEVICE_INFO& Device() const { return m_device; }
    // The current query's context (null before a successful Start).
    std::shared_ptr<QueryContext> Context() const;
    // Query contexts alive in the process (held by a module or a thread).
    static int LiveContexts();

   private:
    void Shutdown();

    const std::int32_t m_flag;
    DEVICE_INFO m_device;
    ipcapture::ICapabilityQueryCallback* const m_callback;  // not owned
    ipcapture::ICapabilitySink* m_sink GUARDED_BY(m_lock) = nullptr;  // not owned
    // Assigned by Start under m_lock; Terminate copies it without the lock,
    // which is safe because the host calls both on one thread.
    TSmartPtr<CCameraPropertiesEx> m_properties;
    std::shared_ptr<QueryContext> m_context GUARDED_BY(m_lock);
    mutable CRecursiveLock m_lock;
    // The fetching thread; kept after it ended, so a module runs one query.
    std::unique_ptr<platform::ThreadHandle> m_hThread GUARDED_BY(m_lock);
};

}  // namespace brevane
