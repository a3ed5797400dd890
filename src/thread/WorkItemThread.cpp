#include "thread/WorkItemThread.h"

#include <new>

namespace brevane::thread {

CWorkItemThread::~CWorkItemThread() {
    m_running.store(false);
    ClearQueue();
    if (m_hWorkEvent) {
        m_hWorkEvent->Set();
    }
    WaitForThread();
    std::list<IWorkItem*> leftovers;  // posted while the stop was under way
    {
        MutexLock guard(m_lock);
        m_hWorkEvent.reset();
        leftovers.swap(m_queue);
    }
    for (IWorkItem* item : leftovers) {
        delete item;
    }
}

void CWorkItemThread::OnWorkItemAdded(IWorkItem* /*item*/, std::uint32_t /*reserved*/) {}

void CWorkItemThread::OnWorkItemRemoved(IWorkItem* /*item*/) {}

void CWorkItemThread::OnQueueCleared() {}

bool CWorkItemThread::Start(const std::string& name) {
    if (IsRunning()) {
        return false;
    }
    if (!m_hWorkEvent) {
        m_hWorkEvent.reset(new (std::nothrow) platform::WaitableEvent(/*manualReset=*/false, false));
        if (!m_hWorkEvent) {
            return false;
        }
    }
    m_running.store(true);
    return CSimpleThread::Start(name);
}

bool CWorkItemThread::Stop() {
    m_running.store(false);
    ClearQueue();
    if (m_hWorkEvent) {
        m_hWorkEvent->Set();
    }
    return WaitForThread();
}

bool CWorkItemThread::PostWorkItem(IWorkItem* item) {
    // m_running is set only after the event exists, so a poster that sees it
    // set also sees the event.
    if (!m_running.load() || item == nullptr || !m_hWorkEvent) {
        return false;
    }
    MutexLock guard(m_lock);
    try {
        m_queue.push_back(item);
    } catch (const std::bad_alloc&) {
        return false;
    }
    OnWorkItemAdded(item, 0);
    m_hWorkEvent->Set();
    return true;
}

void CWorkItemThread::ClearQueue() {
    std::list<IWorkItem*> removed;
    {
        MutexLock guard(m_lock);
        removed.swap(m_queue);
    }
    for (IWorkItem* item : removed) {
        delete item;
    }
    OnQueueCleared();
}

CWorkItemThread::IWorkItem* CWorkItemThread::TakeOldest() {
    MutexLock guard(m_lock);
    if (m_queue.empty()) {
        return nullptr;
    }
    IWorkItem* item = m_queue.front();
    m_queue.pop_front();
    return item;
}

void CWorkItemThread::Run() {
    platform::WaitableEvent* work = m_hWorkEvent.get();  // made by Start before the thread
    while (work != nullptr && m_running.load()) {
        // The bounded wait lets an idle worker notice a cleared m_running
        // even when nobody signals.
        if (!work->Wait(kIdleWaitMs)) {
            continue;
        }
        for (;;) {
            IWorkItem* item = TakeOldest();
            if (item != nullptr) {
                OnWorkItemRemoved(item);
            }
            if (!m_running.load()) {
                delete item;
                break;
            }
            if (item == nullptr) {
                break;
            }
            try {
                ProcessWorkItem(item);
            } catch (...) {
                // One failing item must not end the queue.
            }
            delete item;
        }
    }
    ClearQueue();
}

}  // namespace brevane::thread
