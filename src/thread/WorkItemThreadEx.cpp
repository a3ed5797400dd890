#include "thread/WorkItemThreadEx.h"

#include <new>

namespace brevane {

CWorkItemThreadEx::~CWorkItemThreadEx() {
    // A worker may still be winding down after m_running was cleared without
    // Stop; it must end before the event and the queue go away.
    if (m_running.load() || IsRunning()) {
        Stop();
    }
    for (IWorkItem* item : m_queue) {
        delete item;
    }
    m_queue.clear();
}

CWorkItemThreadEx::IWorkItem* CWorkItemThreadEx::TakeOldest() {
    CLockGuard guard(m_lock);
    if (m_queue.empty()) {
        return nullptr;
    }
    IWorkItem* item = m_queue.front();
    m_queue.pop_front();
    return item;
}

void CWorkItemThreadEx::ClearQueue() {
    while (IWorkItem* item = TakeOldest()) {
        delete item;
    }
}

bool CWorkItemThreadEx::Start(const std::string& name) {
    m_running.store(true);
    return CSimpleThread::Start(name);
}

bool CWorkItemThreadEx::Stop() {
    m_running.store(false);
    ClearQueue();
    m_hWorkEvent.Set();
    return WaitForThread();
}

bool CWorkItemThreadEx::PostWorkItem(IWorkItem* item, std::uint32_t maxQueued) {
    // A null item would read as "queue empty" to the worker and stall it
    // until the next post, so it is refused.
    if (!m_running.load() || item == nullptr) {
        delete item;
        return false;
    }
    std::list<IWorkItem*> dropped;
    bool accepted = true;
    {
        CLockGuard guard(m_lock);
        try {
            m_queue.push_back(item);
        } catch (const std::bad_alloc&) {
            accepted = false;
        }
        if (accepted) {
            // The new item is last, so the oldest are the ones to go.
            while (maxQueued != 0 && m_queue.size() > maxQueued) {
                dropped.splice(dropped.end(), m_queue, m_queue.begin());
            }
            m_hWorkEvent.Set();
        }
    }
    for (IWorkItem* old : dropped) {
        delete old;  // outside the lock: a post never waits on an item's destructor
    }
    if (!accepted) {
        delete item;
    }
    return accepted;
}

void CWorkItemThreadEx::Run() {
    while (m_running.load()) {
        // The bounded wait lets an idle worker notice a cleared m_running
        // even when nobody signals.
        if (!m_hWorkEvent.Wait(kIdleWaitMs)) {
            continue;
        }
        for (IWorkItem* item = TakeOldest(); item != nullptr; item = TakeOldest()) {
            try {
                ProcessWorkItem(item);
            } catch (...) {
                // One failing item must not end the queue.
            }
            delete item;
            if (!m_running.load()) {
                return;  // pending items stay for Stop to discard
            }
        }
    }
}

}  // namespace brevane
