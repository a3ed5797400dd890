#include "capability/CapabilityQueryModule.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "platform/Platform.h"

namespace brevane {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> g_liveContexts{0};

// Brackets one call (or one series of calls) into the host's objects on the
// fetching thread. Entered() is false once the query is abandoned: the call
// must then not be made. A destroying module waits for a bracket in progress
// before it decides to abandon the query.
class HostCall {
   public:
    HostCall(CCapabilityQueryModule::QueryContext& context, bool final) : m_context(context) {
        MutexLock lock(context.hostCallLock);
        if (context.abandoned.load()) {
            return;
        }
        if (final) {
            context.reported.store(true);
        }
        context.inHostCall = true;
        m_entered = true;
    }
    ~HostCall() {
        if (!m_entered) {
            return;
        }
        {
            MutexLock lock(m_context.hostCallLock);
            m_context.inHostCall = false;
        }
        m_context.hostCallEnded.notify_all();
    }
    HostCall(const HostCall&) = delete;
    HostCall& operator=(const HostCall&) = delete;

    bool Entered() const { return m_entered; }

   private:
    CCapabilityQueryModule::QueryContext& m_context;
    bool m_entered = false;
};

// The final callback of a query, unless the query was abandoned.
void Report(CCapabilityQueryModule::QueryContext& context, bool success, std::int32_t code,
            const std::string& message) {
    const HostCall call(context, /*final=*/true);
    if (!call.Entered() || context.callback == nullptr) {
        return;
    }
    if (success) {
        context.callback->OnQuerySucceeded();
    } else {
        context.callback->OnQueryFailed(code, message.c_str());
    }
}

}  // namespace

CCapabilityQueryModule::QueryContext::QueryContext() { g_liveContexts.fetch_add(1); }

CCapabilityQueryModule::QueryContext::~QueryContext() { g_liveContexts.fetch_sub(1); }

int CCapabilityQueryModule::LiveContexts() { return g_liveContexts.load(); }

CCapabilityQueryModule::CCapabilityQueryModule(ipcapture::ICapabilityQueryCallback* callback,
                                               std::int32_t flag, std::uint32_t timeoutMs)
    : m_flag(flag != 0 ? 1 : 0), m_callback(callback) {
    m_device.timeout = timeoutMs;
    m_device.streamTimeout = kDefaultTimeoutMs;
}

CCapabilityQueryModule::~CCapabilityQueryModule() {
    try {
        Shutdown();
    } catch (...) {
        // Nothing may leave a destructor the host calls.
    }
}

bool CCapabilityQueryModule::IsInvalidAddress(std::string_view address) {
    return address.find_first_of(kInvalidAddressCharacters) != std::string_view::npos;
}

std::int32_t CCapabilityQueryModule::Start(const char* address, std::int32_t port,
                                           const char* userName, const char* password,
                                           ipcapture::ICapabilitySink* sink) {
    try {
        CLockGuard guard(m_lock);
        if (m_hThread) {
            return 0;  // one query per module
        }
        m_sink = sink;
        if (sink == nullptr || address == nullptr || userName == nullptr || password == nullptr) {
            return 0;
        }
        m_device.address = address;
        m_device.port = static_cast<std::uint16_t>(port);
        m_device.userName = userName;
        m_device.password = password;
        if (m_device.timeout == 0) {
            return 0;
        }
        m_properties = CreateProperties();
        if (!m_properties) {
            return 0;
        }
        auto context = std::make_shared<QueryContext>();
        context->device = m_device;
        context->properties = m_properties;
        context->sink = sink;
        context->callback = m_callback;
        m_hThread = platform::ThreadHandle::Start([context] {
            try {
                Run(*context);
                context->result.store(ThreadResult::Finished);
            } catch (...) {
                context->result.store(ThreadResult::Failed);
            }
            {
                // Taken so a destroying module cannot miss the wake-up
                // between its check and its wait.
                MutexLock lock(context->hostCallLock);
            }
            context->hostCallEnded.notify_all();
        });
        if (!m_hThread) {
            return 0;
        }
        m_context = std::move(context);
        return 1;
    } catch (...) {
        return 0;
    }
}

void CCapabilityQueryModule::Terminate() {
    const TSmartPtr<CCameraPropertiesEx> properties(m_properties);
    if (properties) {
        properties->Cancel();
    }
}

std::shared_ptr<CCapabilityQueryModule::QueryContext> CCapabilityQueryModule::Context() const {
    CLockGuard guard(m_lock);
    return m_context;
}

void CCapabilityQueryModule::Shutdown() {
    Terminate();
    CLockGuard guard(m_lock);
    if (m_hThread && m_context && m_hThread->Id() != platform::CurrentThreadId()) {
        const std::uint64_t waitMs =
            std::min<std::uint64_t>(2ull * m_device.timeout, std::numeric_limits<std::uint32_t>::max() - 1);
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);

        // The query runs on to its end within the waiting time: a
        // terminated query starts no further camera request and still
        // reports what it did. Only a query that has not reported when the
        // time is up is abandoned; a host call in progress is let finish
        // first, so the flags decide cleanly whether the host hears the
        // thread or us.
        bool abandon = false;
        {
            QueryContext& context = *m_context;
            UniqueMutexLock lock(context.hostCallLock);
            const auto settled = [&context]() REQUIRES(context.hostCallLock) {
                return !context.inHostCall &&
                       (context.reported.load() || context.result.load() != ThreadResult::Running);
            };
            context.hostCallEnded.wait_until(lock.Native(), deadline, settled);
            if (!context.reported.load()) {
                context.abandoned.store(true);
                abandon = true;
            }
        }
        if (abandon) {
            const TSmartPtr<CCameraPropertiesEx> properties(m_properties);
            if (properties) {
                properties->AbortRequests();
            }
        }
        const auto remaining =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        m_hThread->Wait(static_cast<std::uint32_t>(std::max<std::int64_t>(remaining, 0)));
        if (abandon && m_callback != nullptr) {
            m_callback->OnQueryAborted();
        }
    }
    // Joins a thread that has ended; one still running (or the caller
    // itself) goes on alone with its own hold on the context.
    m_hThread.reset();
    m_properties.Release();
    m_context.reset();
    m_sink = nullptr;
}

void CCapabilityQueryModule::Run(QueryContext& context) {
    if (IsInvalidAddress(context.device.address)) {
        Report(context, false, kErrorInvalidAddress, kMessageInvalidAddress);
        return;
    }
    std::int32_t code = kErrorInternal;
    std::string message;
    bool success = false;
    {
        const TSmartPtr<CCameraPropertiesEx> properties(context.properties);
        if (!properties || context.sink == nullptr) {
            message = kMessageInternalError;
        } else if (context.abandoned.load()) {
            return;
        } else if (!properties->Fetch(code)) {
            message = kMessageFetchFailed;
            if (code == kFetchErrorLogin) {
                message += kMessageLoginFailed;
            } else if (code == kFetchErrorOffline) {
                message += kMessageOffline;
            }
        } else {
            const HostCall call(context, /*final=*/false);
            if (!call.Entered()) {
                return;
            }
            if (properties->Save(context.sink)) {
                success = true;
            } else {
                message = kMessageSaveFailed;
            }
        }
    }
    Report(context, success, code, message);
}

}  // namespace brevane
