// CTickerThread: a thread that calls OnTick() once per period until it is
// stopped. The first tick comes one full period after Start; the period is
// measured from the end of the previous tick, so a long tick delays the next
// one and ticks never run back to back. A stop is noticed at the next wait
// and never interrupts a tick in progress.
//
// Owned by the object it is a base of (the digital input poller). Start and
// Stop belong to the owner's thread; Stop may also be called from OnTick().
// The period may be changed from any thread at any time; the ticker reads it
// before every wait.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/WaitableEvent.h"
#include "thread/SimpleThread.h"

namespace brevane::thread {

class CTickerThread : public CSimpleThread {
   public:
    static constexpr std::uint32_t kDefaultPeriodMs = 4000;

    CTickerThread() = default;

    // The tick loop.
    void Run() override;
    // Stops a thread its owner left running, then closes the stop event.
    ~CTickerThread() override;
    // The periodic work, on the ticker thread.
    virtual void OnTick() = 0;

    // False when the ticker is running already or its stop event cannot be
    // made.
    bool Start(const std::string& name);
    // Signals the stop event and waits for the thread (on the ticker thread
    // itself: closes the handle without waiting). False without a thread.
    bool Stop();

    void SetPeriod(std::uint32_t periodMs) { m_period.store(periodMs); }
    std::uint32_t Period() const { return m_period.load(); }

   protected:
    // Auto-reset; made by the first Start and kept until destruction.
    std::unique_ptr<platform::WaitableEvent> m_hStopEvent;
    std::atomic<std::uint32_t> m_period{kDefaultPeriodMs};
};

}  // namespace brevane::thread
