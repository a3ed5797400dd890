#include "thread/SimpleThread.h"

#include <new>

#include "platform/WaitableEvent.h"
#include "platform/Platform.h"

namespace brevane::thread {

CSimpleThread::~CSimpleThread() {
    m_name.clear();
}

bool CSimpleThread::Start(const std::string& name) {
    if (IsRunning()) {
        return false;
    }
    m_hThread.reset();  // the previous thread has ended
    try {
        m_name = name;
        m_threadId.store(0);
        // The new thread holds back until its handle is stored, so a Run()
        // that stops or tests its own thread at once sees a complete object.
        auto gate = std::make_shared<platform::WaitableEvent>(/*manualReset=*/true, false);
        m_hThread = platform::ThreadHandle::Start([this, gate] {
            gate->Wait(platform::kInfinite);
            ThreadEntry(this);
        });
        const bool started = m_hThread != nullptr;
        // From here on the thread may already have closed its own handle.
        gate->Set();
        return started;
    } catch (const std::bad_alloc&) {
        m_hThread.reset();
        return false;
    }
}

bool CSimpleThread::IsRunning() const {
    return m_hThread != nullptr && !m_hThread->HasEnded();
}

bool CSimpleThread::WaitForThread() {
    if (!m_hThread) {
        return false;
    }
    if (platform::CurrentThreadId() != m_threadId.load()) {
        m_hThread->Wait(platform::kInfinite);
        m_threadId.store(0);
    }
    // On the thread itself this detaches: a thread cannot wait for its end.
    m_hThread.reset();
    return true;
}

void CSimpleThread::ThreadEntry(CSimpleThread* self) {
    self->m_threadId.store(platform::CurrentThreadId());
    try {
        self->Run();
    } catch (...) {
        // An escaping exception would end the host's process; the thread
        // ends instead, exactly as if Run() had returned.
    }
}

}  // namespace brevane::thread
