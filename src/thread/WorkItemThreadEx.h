// CWorkItemThreadEx: a worker thread that takes work items off a queue
// strictly in arrival order and hands each to ProcessWorkItem(). The poster
// bounds the queue at each post: when it is full the oldest pending items
// are dropped. Used for the PTZ commands of a channel.
//
// Owned by the object it is a base of. Start and Stop belong to the owner's
// thread (Stop may also come from ProcessWorkItem on the worker); PostWorkItem
// may be called from any thread. Items are processed only on the worker, one
// at a time. A refused item is deleted here; the poster never gets it back.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <string>

#include "platform/WaitableEvent.h"
#include "thread/RecursiveLock.h"
#include "thread/SimpleThread.h"

namespace brevane {

class CWorkItemThreadEx : public thread::CSimpleThread {
   public:
    // A unit of work: data only, processed by the thread class. Created with
    // new by the poster and owned by the queue from the post on.
    class IWorkItem {
       public:
        virtual ~IWorkItem() = default;
    };

    // How long an idle worker sleeps before it looks at m_running again.
    static constexpr std::uint32_t kIdleWaitMs = 1000;

    CWorkItemThreadEx() = default;

    // The queue loop.
    void Run() override;
    // Stops a running thread, then deletes whatever is still queued.
    ~CWorkItemThreadEx() override;
    // Deletes every pending item without processing it.
    virtual void ClearQueue();
    // The derived class's work, on the worker thread. Exceptions are
    // swallowed; the item is deleted afterwards either way.
    virtual void ProcessWorkItem(IWorkItem* item) = 0;
    // Accepts posts, then starts the worker. False when it is running
    // already or cannot be created (posts are accepted all the same and
    // discarded by Stop).
    virtual bool Start(const std::string& name);
    // Refuses further posts, deletes pending items unprocessed, wakes the
    // worker and waits for it to finish the item in progress.
    virtual bool Stop();
    // Appends item; with maxQueued above 0 first drops the oldest items so
    // that at most maxQueued are pending afterwards, 0 means unbounded.
    // False when not running, item is null or the queue cannot grow; a
    // refused item is deleted.
    virtual bool PostWorkItem(IWorkItem* item, std::uint32_t maxQueued);

   protected:
    // Auto-reset; signalled on every post and on stop.
    platform::WaitableEvent m_hWorkEvent{/*manualReset=*/false, /*initiallySignalled=*/false};
    // Written by the owner, read by posters and the worker.
    std::atomic<bool> m_running{false};
    CRecursiveLock m_lock;
    std::list<IWorkItem*> m_queue GUARDED_BY(m_lock);

   private:
    IWorkItem* TakeOldest();
};

}  // namespace brevane
