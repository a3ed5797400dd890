#include "platform/Thread.h"

#include <chrono>
#include <system_error>

#include "platform/Platform.h"

namespace brevane::platform {

std::unique_ptr<ThreadHandle> ThreadHandle::Start(std::function<void()> body) {
    std::unique_ptr<ThreadHandle> handle(new (std::nothrow) ThreadHandle());
    if (!handle) {
        return nullptr;
    }
    auto shared = std::make_shared<Shared>();
    handle->m_shared = shared;
    try {
        // The thread keeps its own reference to the shared block, so a
        // detached thread can still mark itself finished.
        handle->m_thread = std::thread([shared, body = std::move(body)]() mutable {
            {
                // Publish the id under the mutex so a waiter that sees it
                // also sees everything the starter did before.
                MutexLock guard(shared->mutex);
                shared->threadId.store(CurrentThreadId());
            }
            body();
            body = nullptr;  // release captured state before reporting the end
            {
                MutexLock guard(shared->mutex);
                shared->finished = true;
            }
            shared->ended.notify_all();
        });
    } catch (const std::system_error&) {
        return nullptr;
    }
    return handle;
}

ThreadHandle::~ThreadHandle() {
    if (!m_thread.joinable()) {
        return;
    }
    if (m_thread.get_id() == std::this_thread::get_id()) {
        m_thread.detach();  // a thread closing its own handle
    } else if (HasEnded()) {
        m_thread.join();    // returns at once: the body is over
    } else {
        m_thread.detach();
    }
}

std::uint32_t ThreadHandle::Id() const {
    return m_shared->threadId.load();
}

bool ThreadHandle::Wait(std::uint32_t timeoutMs) {
    if (m_thread.get_id() == std::this_thread::get_id()) {
        return false;
    }
    UniqueMutexLock lock(m_shared->mutex);
    auto finished = [this]() REQUIRES(m_shared->mutex) { return m_shared->finished; };
    if (timeoutMs == kInfinite) {
        m_shared->ended.wait(lock.Native(), finished);
        return true;
    }
    return m_shared->ended.wait_for(lock.Native(), std::chrono::milliseconds(timeoutMs), finished);
}

bool ThreadHandle::HasEnded() const {
    MutexLock guard(m_shared->mutex);
    return m_shared->finished;
}

}  // namespace brevane::platform
