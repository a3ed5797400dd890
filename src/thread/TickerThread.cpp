#include "thread/TickerThread.h"

#include <new>

namespace brevane::thread {

CTickerThread::~CTickerThread() {
    // Freeing the event under a thread still waiting on it would crash that
    // thread; an owner that forgot Stop gets a stopped thread instead.
    if (IsRunning()) {
        Stop();
    }
    m_hStopEvent.reset();
}

bool CTickerThread::Start(const std::string& name) {
    if (IsRunning()) {
        return false;
    }
    if (!m_hStopEvent) {
        m_hStopEvent.reset(new (std::nothrow) platform::WaitableEvent(/*manualReset=*/false, false));
        if (!m_hStopEvent) {
            return false;
        }
    }
    // A stop signalled after the last run must not end the new thread at once.
    m_hStopEvent->Reset();
    return CSimpleThread::Start(name);
}

bool CTickerThread::Stop() {
    if (m_hStopEvent) {
        m_hStopEvent->Set();
    }
    return WaitForThread();
}

void CTickerThread::Run() {
    platform::WaitableEvent* stop = m_hStopEvent.get();
    if (stop == nullptr) {
        return;
    }
    while (!stop->Wait(m_period.load())) {
        OnTick();
    }
}

}  // namespace brevane::thread
