// A started operating-system thread and its handle: starts the thread,
// waits for its end with a time-out, and lets go of the handle.
//
// Owned by the object that started the thread. Wait and HasEnded may be
// called from any thread; destruction "closes the handle": a thread that has
// ended is joined, one still running is detached and runs on (its owner must
// then keep alive whatever it uses). No thread is ever killed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "core/Mutex.h"

namespace brevane::platform {

class ThreadHandle {
   public:
    // Starts a thread running body. Null when the thread cannot be created.
    static std::unique_ptr<ThreadHandle> Start(std::function<void()> body);

    ~ThreadHandle();
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;

    // The thread's id as CurrentThreadId() reports it inside the thread; 0
    // until the thread has begun running.
    std::uint32_t Id() const;

    // Waits until the thread has ended or timeoutMs passed (kInfinite: no
    // limit). True when it has ended. A thread waiting for itself returns
    // false at once.
    bool Wait(std::uint32_t timeoutMs);

    bool HasEnded() const;

   private:
    struct Shared {
        Mutex mutex;
        std::condition_variable ended;
        bool finished GUARDED_BY(mutex) = false;
        std::atomic<std::uint32_t> threadId{0};
    };

    ThreadHandle() = default;

    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

}  // namespace brevane::platform
