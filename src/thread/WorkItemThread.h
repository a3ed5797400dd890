// CWorkItemThread: a worker thread that takes work items off an unbounded
// queue strictly in arrival order and hands each to ProcessWorkItem(), so
// that posting code returns at once. Used for the digital outputs.
//
// Owned by the object it is a base of. Start and Stop belong to the owner's
// thread (Stop may also come from ProcessWorkItem on the worker); PostWorkItem
// may be called from any thread. Items are processed only on the worker, one
// at a time. The owner calls Stop before destroying a derived object, since
// the derived part is gone by the time this destructor stops the thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "core/Mutex.h"
#include "platform/WaitableEvent.h"
#include "thread/SimpleThread.h"

namespace brevane::thread {

class CWorkItemThread : public CSimpleThread {
   public:
    // A unit of work: data only, processed by the thread class. Created with
    // new by the poster and owned by the queue once a post succeeded.
    class IWorkItem {
       public:
        virtual ~IWorkItem() = default;
    };

    // How long an idle worker sleeps before it looks at m_running again.
    static constexpr std::uint32_t kIdleWaitMs = 1000;

    CWorkItemThread() = default;

    // The queue loop.
    void Run() override;
    // Stops the thread, deletes pending items and closes the work event.
    ~CWorkItemThread() override;
    // The derived class's work, on the worker thread. Exceptions are
    // swallowed; the item is deleted afterwards either way.
    virtual void ProcessWorkItem(IWorkItem* item) = 0;
    // Called under m_lock right after item was appended; reserved is 0.
    virtual void OnWorkItemAdded(IWorkItem* item, std::uint32_t reserved) REQUIRES(m_lock);
    // Called on the worker, outside m_lock, for every item it takes off the
    // queue, before the item is processed or dropped.
    virtual void OnWorkItemRemoved(IWorkItem* item);
    // Called after ClearQueue has deleted the items it removed.
    virtual void OnQueueCleared();

    // False when the worker is running already or the work event cannot be
    // made. Posts are accepted from here on even if the thread could not be
    // created; Stop then discards them.
    bool Start(const std::string& name);
    // Refuses further posts, deletes pending items unprocessed, wakes the
    // worker and waits for it to finish the item in progress.
    bool Stop();
    // Appends item. False when not running, item is null or the queue
    // cannot grow: the item then stays the caller's.
    bool PostWorkItem(IWorkItem* item);
    // Deletes every pending item without processing it.
    void ClearQueue();

   protected:
    Mutex m_lock;
    std::list<IWorkItem*> m_queue GUARDED_BY(m_lock);
    // Auto-reset; made by the first Start, signalled on every post and stop.
    std::unique_ptr<platform::WaitableEvent> m_hWorkEvent;
    // Written by the owner, read by posters and the worker.
    std::atomic<bool> m_running{false};

   private:
    IWorkItem* TakeOldest();
};

}  // namespace brevane::thread
