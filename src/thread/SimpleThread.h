// CSimpleThread: one operating-system thread running one virtual procedure,
// Run(). The object can tell whether its thread is still alive and wait for
// it to end; it never terminates a thread and takes no lock of its own.
//
// Owned by the object it is a base of. Start, WaitForThread and IsRunning
// belong to the owner's thread, which serialises them. The thread itself may
// call WaitForThread (directly or through a Stop of a derived class): it then
// closes its own handle without waiting, and the owner must not call into the
// object at that moment. The object must outlive its thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Thread.h"

namespace brevane::thread {

class CSimpleThread {
   public:
    CSimpleThread() = default;
    CSimpleThread(const CSimpleThread&) = delete;
    CSimpleThread& operator=(const CSimpleThread&) = delete;

    // The thread's body. An exception escaping it ends the thread quietly
    // instead of the process.
    virtual void Run() = 0;
    // Forgets the name only: neither waits for nor closes the thread, so the
    // owner stops it first. A thread still running is left detached.
    virtual ~CSimpleThread();

    // Starts a new thread running Run(). False when a thread of this object
    // is still running (nothing changes then) or when no thread could be
    // created (the name is replaced all the same).
    bool Start(const std::string& name);

    // True while a thread was started and its Run() has not returned.
    bool IsRunning() const;

    // Waits without time-out for the thread to end and closes its handle.
    // Called on the thread itself it closes the handle without waiting.
    // False when there is no handle.
    bool WaitForThread();

    const std::string& Name() const { return m_name; }
    // Id of the last thread started, once it runs; 0 after a wait from
    // another thread.
    std::uint32_t ThreadId() const { return m_threadId.load(); }

   protected:
    std::string m_name;
    std::unique_ptr<platform::ThreadHandle> m_hThread;
    // Written by the thread as it begins and by a waiting owner; read by both.
    std::atomic<std::uint32_t> m_threadId{0};

   private:
    static void ThreadEntry(CSimpleThread* self);
};

}  // namespace brevane::thread
