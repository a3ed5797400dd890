#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "platform/WaitableEvent.h"
#include "platform/Platform.h"
#include "thread/SimpleThread.h"
#include "thread/TickerThread.h"
#include "thread/WorkItemThread.h"
#include "support/Wait.h"

namespace brevane::thread {
namespace {

using brevane::test::WaitUntil;
using Clock = std::chrono::steady_clock;

// Runs until released; can wait for itself or throw.
class GatedThread : public CSimpleThread {
   public:
    enum class Mode { Block, WaitForSelf, Throw };
    explicit GatedThread(Mode mode = Mode::Block) : m_mode(mode) {}
    ~GatedThread() override {
        release.Set();
        WaitForThread();
    }
    void Run() override {
        ++runs;
        if (m_mode == Mode::Throw) {
            throw std::runtime_error("thrown by Run");
        }
        if (m_mode == Mode::WaitForSelf) {
            selfWaitResult = WaitForThread();
            runningAfterSelfWait = IsRunning();
            ended = true;
            return;
        }
        release.Wait(platform::kInfinite);
    }

    platform::WaitableEvent release{/*manualReset=*/false, false};
    std::atomic<int> runs{0};
    std::atomic<bool> selfWaitResult{false};
    std::atomic<bool> runningAfterSelfWait{true};
    std::atomic<bool> ended{false};

   private:
    const Mode m_mode;
};

TEST(SimpleThread, StartWhileRunningIsRefusedAndKeepsName) {
    GatedThread thread;
    ASSERT_TRUE(thread.Start("first"));
    EXPECT_TRUE(thread.IsRunning());
    EXPECT_FALSE(thread.Start("second"));
    EXPECT_EQ(thread.Name(), "first");
    thread.release.Set();
    EXPECT_TRUE(thread.WaitForThread());
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(thread.ThreadId(), 0u);
    EXPECT_EQ(thread.runs.load(), 1);
    EXPECT_FALSE(thread.WaitForThread());  // no handle any more
}

TEST(SimpleThread, StartAfterPreviousThreadEndedRunsNewThread) {
    GatedThread thread;
    ASSERT_TRUE(thread.Start("first"));
    thread.release.Set();
    ASSERT_TRUE(WaitUntil([&] { return !thread.IsRunning(); }));

    // The ended thread's handle is still held; Start replaces it.
    ASSERT_TRUE(thread.Start("second"));
    EXPECT_EQ(thread.Name(), "second");
    ASSERT_TRUE(WaitUntil([&] { return thread.runs.load() == 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(thread.IsRunning());  // Run() has not returned yet
    thread.release.Set();
    EXPECT_TRUE(thread.WaitForThread());
    EXPECT_FALSE(thread.IsRunning());
}

TEST(SimpleThread, WaitForThreadOnItselfClosesHandleWithoutWaiting) {
    GatedThread thread(GatedThread::Mode::WaitForSelf);
    ASSERT_TRUE(thread.Start("self"));
    ASSERT_TRUE(WaitUntil([&] { return thread.ended.load(); }));
    EXPECT_TRUE(thread.selfWaitResult.load());
    EXPECT_FALSE(thread.runningAfterSelfWait.load());
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_FALSE(thread.WaitForThread());  // the thread closed its handle
}

TEST(SimpleThread, ExceptionFromRunEndsOnlyTheThread) {
    GatedThread thread(GatedThread::Mode::Throw);
    ASSERT_TRUE(thread.Start("throws"));
    EXPECT_TRUE(thread.WaitForThread());
    EXPECT_EQ(thread.runs.load(), 1);
}

// Counts ticks and records when each began and ended.
class RecordingTicker : public CTickerThread {
   public:
    struct Tick {
        Clock::time_point begin;
        Clock::time_point end;
    };
    ~RecordingTicker() override { Stop(); }
    void Run() override {
        CTickerThread::Run();
        runEnded = true;
    }
    void OnTick() override {
        const auto begin = Clock::now();
        const int count = ++ticks;
        if (tickDurationMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(tickDurationMs));
        }
        if (stopOnTick == count) {
            stopResult = Stop();
        }
        std::lock_guard<std::mutex> guard(mutex);
        history.push_back({begin, Clock::now()});
    }
    std::vector<Tick> History() {
        std::lock_guard<std::mutex> guard(mutex);
        return history;
    }

    std::atomic<int> ticks{0};
    std::atomic<int> tickDurationMs{0};
    std::atomic<int> stopOnTick{0};
    std::atomic<bool> stopResult{false};
    std::atomic<bool> runEnded{false};

   private:
    std::mutex mutex;
    std::vector<Tick> history;  // guarded by mutex
};

TEST(TickerThread, StoppedWithinFirstPeriodNeverTicks) {
    RecordingTicker ticker;
    EXPECT_EQ(ticker.Period(), 4000u);
    const auto begin = Clock::now();
    ASSERT_TRUE(ticker.Start("ticker"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(ticker.Stop());
    EXPECT_LT(Clock::now() - begin, std::chrono::milliseconds(3000));  // stop woke the wait
    EXPECT_EQ(ticker.ticks.load(), 0);
    EXPECT_FALSE(ticker.Stop());  // no thread any more
}

TEST(TickerThread, LongTickIsFollowedByAFullPeriodBeforeTheNext) {
    constexpr int kPeriodMs = 50;
    RecordingTicker ticker;
    ticker.SetPeriod(kPeriodMs);
    ticker.tickDurationMs = 3 * kPeriodMs;
    const auto started = Clock::now();
    ASSERT_TRUE(ticker.Start("slow"));
    ASSERT_TRUE(WaitUntil([&] { return ticker.ticks.load() >= 3; }));
    EXPECT_TRUE(ticker.Stop());

    const auto history = ticker.History();
    ASSERT_GE(history.size(), 3u);
    EXPECT_GE(history[0].begin - started, std::chrono::milliseconds(kPeriodMs - 2));
    for (std::size_t i = 1; i < history.size(); ++i) {
        EXPECT_GE(history[i].begin - history[i - 1].end, std::chrono::milliseconds(kPeriodMs - 2))
            << "tick " << i << " followed the previous one without a full wait";
    }
}

TEST(TickerThread, StopFromInsideOnTickEndsTheLoop) {
    RecordingTicker ticker;
    ticker.SetPeriod(50);
    ticker.stopOnTick = 1;
    ASSERT_TRUE(ticker.Start("self-stop"));
    ASSERT_TRUE(WaitUntil([&] { return ticker.runEnded.load(); }));
    EXPECT_TRUE(ticker.stopResult.load());
    EXPECT_EQ(ticker.ticks.load(), 1);
    EXPECT_FALSE(ticker.IsRunning());
}

TEST(TickerThread, PeriodChangeAppliesAtTheNextWait) {
    RecordingTicker ticker;
    ticker.SetPeriod(50);
    ASSERT_TRUE(ticker.Start("period"));
    ASSERT_TRUE(WaitUntil([&] { return ticker.ticks.load() >= 2; }));
    ticker.SetPeriod(60000);
    const int afterChange = ticker.ticks.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // At most the wait already under way may still end in a tick.
    EXPECT_LE(ticker.ticks.load(), afterChange + 1);
    const auto stopBegin = Clock::now();
    EXPECT_TRUE(ticker.Stop());
    EXPECT_LT(Clock::now() - stopBegin, std::chrono::milliseconds(3000));
}

TEST(TickerThread, RestartAfterStopTicksAgain) {
    RecordingTicker ticker;
    ticker.SetPeriod(50);
    ASSERT_TRUE(ticker.Start("first"));
    ASSERT_TRUE(WaitUntil([&] { return ticker.ticks.load() >= 1; }));
    EXPECT_TRUE(ticker.Stop());
    EXPECT_FALSE(ticker.Stop());  // leaves the stop event signalled
    const int before = ticker.ticks.load();
    ASSERT_TRUE(ticker.Start("second"));
    ASSERT_TRUE(WaitUntil([&] { return ticker.ticks.load() >= before + 2; }));
    EXPECT_TRUE(ticker.IsRunning());
    EXPECT_TRUE(ticker.Stop());
}

// The digital I/O object's shape: an interface plus a work-item queue plus a
// ticker, two thread sub-objects side by side, each with its own Run().
class IOutputCounter {
   public:
    virtual ~IOutputCounter() = default;
    virtual int Outputs() const = 0;
};

class QueueAndTicker : public IOutputCounter, public CWorkItemThread, public CTickerThread {
   public:
    struct Output : CWorkItemThread::IWorkItem {};
    ~QueueAndTicker() override {
        CTickerThread::Stop();
        CWorkItemThread::Stop();
    }
    int Outputs() const override { return m_outputs.load(); }
    void ProcessWorkItem(CWorkItemThread::IWorkItem* /*item*/) override {
        workerId = platform::CurrentThreadId();
        ++m_outputs;
    }
    void OnTick() override {
        tickerId = platform::CurrentThreadId();
        ++ticks;
    }
    std::atomic<int> ticks{0};
    std::atomic<std::uint32_t> workerId{0};
    std::atomic<std::uint32_t> tickerId{0};

   private:
    std::atomic<int> m_outputs{0};
};

TEST(CombinedThreads, QueueAndTickerRunSideBySideInOneObject) {
    QueueAndTicker io;
    io.SetPeriod(50);
    ASSERT_TRUE(io.CWorkItemThread::Start("Digital Output thread"));
    ASSERT_TRUE(io.CTickerThread::Start("Digital Input thread"));
    EXPECT_EQ(io.CWorkItemThread::Name(), "Digital Output thread");
    EXPECT_EQ(io.CTickerThread::Name(), "Digital Input thread");
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(io.PostWorkItem(new QueueAndTicker::Output));
    }
    const IOutputCounter& counter = io;
    ASSERT_TRUE(WaitUntil([&] { return counter.Outputs() == 5 && io.ticks.load() >= 2; }));
    EXPECT_NE(io.workerId.load(), io.tickerId.load());

    EXPECT_TRUE(io.CTickerThread::Stop());
    EXPECT_TRUE(io.CWorkItemThread::IsRunning());
    EXPECT_TRUE(io.CWorkItemThread::Stop());
    EXPECT_FALSE(io.CTickerThread::IsRunning());
    EXPECT_FALSE(io.CWorkItemThread::IsRunning());
}

}  // namespace
}  // namespace brevane::thread
