// The digital I/O base with a scripted camera: start sequence, output
// de-duplication, failure reset and re-reporting, Stop discarding queued
// commands, missing sinks, and the ICaptureIOApi slots as table entries.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <utility>
#include <vector>

#include "io/IOBase.h"
#include "kit/IOEventSink.h"
#include "platform/WaitableEvent.h"
#include "platform/Platform.h"
#include "support/FakeDriver.h"
#include "support/SlotCall.h"
#include "support/Wait.h"

namespace brevane {
namespace {

using darvik::host::IOEvent;
using darvik::host::IOEventSink;
using brevane::test::CallSlot;
using test::WaitUntil;
using Write = std::pair<std::int32_t, std::int32_t>;

// A vendor class whose camera is a vector of input levels; records every
// exchange and fails on request. WriteOutput can be held at a gate.
class ScriptedIO final : public CIOBase {
   public:
    explicit ScriptedIO(IDriver* driver) : CIOBase(driver) {}
    ~ScriptedIO() override {
        StopThreads();
        destroyed->store(true);
    }

    bool WriteOutput(std::int32_t index, std::int32_t value) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_writes.emplace_back(index, value);
        }
        if (holdWrites.load()) {
            writeGate.Wait(platform::kInfinite);
        }
        return !failWrites.load();
    }

    bool ReadInputs(std::int32_t) override {
        ++reads;
        if (failReads.load()) {
            return false;
        }
        std::vector<bool> levels;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            levels = m_levels;
        }
        for (std::uint32_t i = 0; i < levels.size(); ++i) {
            const std::int32_t state = levels[i] ? ipcapture::kIoStateHigh : ipcapture::kIoStateLow;
            if (StoreInputState(i, state)) {
                NotifyInputChanged(i, state);
            }
        }
        return true;
    }

    void SetLevels(std::vector<bool> levels) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_levels = std::move(levels);
    }
    std::vector<Write> Writes() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_writes;
    }
    bool QueueRunning() const { return m_running.load(); }
    // One tick of the input thread, on the caller's thread.
    void Poll() { OnTick(); }

    std::atomic<int> reads{0};
    std::atomic<bool> failReads{false};
    std::atomic<bool> failWrites{false};
    std::atomic<bool> holdWrites{false};
    platform::WaitableEvent writeGate{true, false};
    std::atomic<bool>* destroyed = &m_destroyedDefault;

   private:
    mutable std::mutex m_mutex;
    std::vector<bool> m_levels;   // guarded by m_mutex
    std::vector<Write> m_writes;  // guarded by m_mutex
    std::atomic<bool> m_destroyedDefault{false};
};

std::vector<std::pair<std::uint32_t, std::int32_t>> Changes(const IOEventSink& sink) {
    std::vector<std::pair<std::uint32_t, std::int32_t>> changes;
    for (const IOEvent& event : sink.Events()) {
        if (event.kind == IOEvent::Kind::InputChanged) {
            changes.emplace_back(event.input, event.state);
        }
    }
    return changes;
}

std::size_t Failures(const IOEventSink& sink) {
    std::size_t failures = 0;
    for (const IOEvent& event : sink.Events()) {
        failures += event.kind == IOEvent::Kind::Failure ? 1 : 0;
    }
    return failures;
}

using States = std::map<std::uint32_t, std::int32_t>;

class IOBaseTest : public ::testing::Test {
   protected:
    IOBaseTest() : driver(2, 1), io(&driver) { io.SetPeriod(20); }
    void TearDown() override {
        io.writeGate.Set();
        io.Stop();
    }

    test::FakeDriver driver;
    ScriptedIO io;
    IOEventSink sink;
};

TEST_F(IOBaseTest, StartReadsEveryInputWritesEveryOutputAndStartsBothThreads) {
    io.SetLevels({true, false});
    ASSERT_TRUE(io.SetEventSink(&sink));
    io.SetPeriod(60000);  // no poll during this test

    EXPECT_TRUE(io.Start());
    EXPECT_EQ(io.reads.load(), 1);
    EXPECT_EQ(Changes(sink), (std::vector<std::pair<std::uint32_t, std::int32_t>>{{0, 2}, {1, 1}}));
    EXPECT_EQ(io.Writes(), (std::vector<Write>{{0, 1}}));
    EXPECT_EQ(io.OutputStates(), (States{{0, 1}}));
    EXPECT_TRUE(io.CWorkItemThread::IsRunning());
    EXPECT_TRUE(io.CTickerThread::IsRunning());
    EXPECT_EQ(io.CWorkItemThread::Name(), "Digital Output thread");
    EXPECT_EQ(io.CTickerThread::Name(), "Digital Input thread");

    // Again while running: refused, but the initial read and writes repeat
    // (the inputs are known now, so nothing new is reported).
    EXPECT_FALSE(io.Start());
    EXPECT_EQ(io.reads.load(), 2);
    EXPECT_EQ(io.Writes(), (std::vector<Write>{{0, 1}, {0, 1}}));
    EXPECT_EQ(sink.Count(), 2u);

    EXPECT_TRUE(io.Stop());
    EXPECT_EQ(io.InputStates(), (States{{0, 0}, {1, 0}}));
    EXPECT_EQ(io.OutputStates(), (States{{0, 0}}));
    EXPECT_FALSE(io.Stop());  // no threads left to stop
    EXPECT_FALSE(io.SetOutput(0, 2));

    // A stopped object starts again and reports every input afresh.
    EXPECT_TRUE(io.Start());
    EXPECT_EQ(sink.Count(), 4u);
}

TEST_F(IOBaseTest, OutputCommandsRunInOrderAndUnchangedValuesSendNothing) {
    driver.SetCounts(0, 2);
    io.SetPeriod(60000);
    EXPECT_FALSE(io.SetOutput(0, 2)) << "before Start nothing is queued";
    ASSERT_TRUE(io.SetEventSink(&sink));
    ASSERT_TRUE(io.Start());
    ASSERT_EQ(io.Writes(), (std::vector<Write>{{0, 1}, {1, 1}}));

    EXPECT_TRUE(io.SetOutput(0, 1));   // already 1: no request
    EXPECT_TRUE(io.SetOutput(0, 2));
    EXPECT_TRUE(io.SetOutput(0, 2));   // unchanged: no request
    EXPECT_TRUE(io.SetOutput(5, 2));   // no such output: accepted, dropped
    EXPECT_TRUE(io.SetOutput(-1, 2));  // likewise
    EXPECT_TRUE(io.SetOutput(1, 7));   // host values pass unchanged
    EXPECT_TRUE(io.SetOutput(0, 1));
    ASSERT_TRUE(WaitUntil([&] { return io.Writes().size() >= 5; }));
    io.Stop();
    EXPECT_EQ(io.Writes(), (std::vector<Write>{{0, 1}, {1, 1}, {0, 2}, {1, 7}, {0, 1}}));
    EXPECT_EQ(sink.Count(), 0u);
}

TEST_F(IOBaseTest, ZeroOutputsWriteNothingAndKeepNoOutputStates) {
    driver.SetCounts(1, 0);
    ASSERT_TRUE(io.Start());
    EXPECT_TRUE(io.Writes().empty());
    EXPECT_TRUE(io.OutputStates().empty());
    EXPECT_TRUE(io.Stop());
    EXPECT_TRUE(io.OutputStates().empty());
}

TEST_F(IOBaseTest, FailureResetsEveryStateOnceAndTheNextGoodPollReportsAllInputsAgain) {
    driver.SetCounts(2, 2);
    io.SetLevels({true, true});
    ASSERT_TRUE(io.SetEventSink(&sink));
    io.SetPeriod(60000);
    ASSERT_TRUE(io.Start());
    ASSERT_EQ(sink.Count(), 2u);
    ASSERT_TRUE(io.SetOutput(1, 2));
    ASSERT_TRUE(WaitUntil([&] { return io.OutputStates()[1] == 2; }));

    // A failed output write: one failure, everything unknown.
    io.failWrites = true;
    ASSERT_TRUE(io.SetOutput(0, 2));
    ASSERT_TRUE(sink.WaitForEvents(3, std::chrono::seconds(5)));
    EXPECT_EQ(Failures(sink), 1u);
    EXPECT_EQ(io.InputStates(), (States{{0, 0}, {1, 0}}));
    EXPECT_EQ(io.OutputStates(), (States{{0, 0}, {1, 0}}));

    // After the reset the same value is sent again: the camera's state is
    // unknown.
    io.failWrites = false;
    ASSERT_TRUE(io.SetOutput(1, 2));
    ASSERT_TRUE(WaitUntil([&] { return io.Writes().size() == 5; }));
    EXPECT_EQ(io.Writes().back(), Write(1, 2));

    // A failed poll, then a good one: every input is reported again though
    // the camera's inputs never changed.
    io.failReads = true;
    io.Poll();
    EXPECT_EQ(Failures(sink), 2u);
    io.failReads = false;
    io.Poll();
    io.Stop();
    EXPECT_EQ(Changes(sink), (std::vector<std::pair<std::uint32_t, std::int32_t>>{
                                 {0, 2}, {1, 2}, {0, 2}, {1, 2}}));
}

TEST_F(IOBaseTest, StopDiscardsQueuedCommandsAndWaitsForTheOneInProgress) {
    driver.SetCounts(0, 3);
    ASSERT_TRUE(io.Start());
    io.holdWrites = true;
    ASSERT_TRUE(io.SetOutput(0, 2));
    ASSERT_TRUE(WaitUntil([&] { return io.Writes().size() == 4; }));  // held in WriteOutput
    ASSERT_TRUE(io.SetOutput(1, 2));
    ASSERT_TRUE(io.SetOutput(2, 2));

    auto stopped = std::async(std::launch::async, [&] { return io.Stop(); });
    ASSERT_TRUE(WaitUntil([&] { return !io.QueueRunning(); }));
    EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout)
        << "Stop must wait for the command in progress";
    io.writeGate.Set();
    EXPECT_TRUE(stopped.get());
    EXPECT_EQ(io.Writes().size(), 4u) << "queued commands must be discarded";
    EXPECT_EQ(io.OutputStates(), (States{{0, 0}, {1, 0}, {2, 0}}));
}

TEST_F(IOBaseTest, NotificationsWithoutASinkAreDropped) {
    EXPECT_FALSE(io.SetEventSink(nullptr));
    io.SetLevels({true, true});
    EXPECT_TRUE(io.Start());  // would report two inputs
    io.failReads = true;
    ASSERT_TRUE(WaitUntil([&] { return io.reads.load() >= 3; }));  // failing polls
    EXPECT_EQ(io.InputStates(), (States{{0, 0}, {1, 0}}));
    // A sink set later gets what happens from then on.
    ASSERT_TRUE(io.SetEventSink(&sink));
    io.failReads = false;
    ASSERT_TRUE(sink.WaitForEvents(2, std::chrono::seconds(5)));
}

TEST_F(IOBaseTest, AbsurdCountsAreTrackedOnlyUpToTheLimit) {
    driver.SetCounts(0xFFFFFFFFu, 0);
    ScriptedIO wide(&driver);
    EXPECT_EQ(wide.GetInputCount(), -1);  // the driver's value, as a signed count
    EXPECT_EQ(wide.InputStates().size(), CIOBase::kMaxTrackedPorts);
    EXPECT_TRUE(driver.LinesWith("tracked").empty()) << "nothing is said before Start";
    ASSERT_TRUE(wide.Start());
    const auto lines = driver.LinesWith("only the first 1024 of each are tracked");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, 1);
    EXPECT_NE(lines[0].text.find("4294967295 inputs"), std::string::npos) << lines[0].text;
    wide.Stop();
}

TEST_F(IOBaseTest, CountsWithinTheLimitStartWithoutComplaint) {
    ASSERT_TRUE(io.Start());
    EXPECT_TRUE(driver.LinesWith("tracked").empty());
}

TEST(IOBaseSlotTest, CaptureIOApiSlotsAreTableEntries) {
    test::FakeDriver driver(3, 2);
    std::atomic<bool> destroyed{false};
    auto* io = new ScriptedIO(&driver);
    io->destroyed = &destroyed;
    io->SetLevels({false, true, false});
    IOEventSink sink;
    ICaptureIOApi* api = io;
    void* object = api;
    ASSERT_EQ(object, static_cast<void*>(io)) << "ICaptureIOApi is the primary base";

    EXPECT_EQ(CallSlot<std::int32_t>(object, 4), 3);
    EXPECT_EQ(CallSlot<std::int32_t>(object, 5), 2);
    EXPECT_TRUE(CallSlot<bool>(object, 1, static_cast<ipcapture::IIOEventSink*>(&sink)));
    EXPECT_TRUE(CallSlot<bool>(object, 7, std::int32_t{1}, std::int32_t{2}));
    EXPECT_EQ(io->Writes(), (std::vector<Write>{{1, 2}}));
    EXPECT_TRUE(CallSlot<bool>(object, 8, std::int32_t{3}));
    EXPECT_EQ(sink.Count(), 3u);

    io->SetPeriod(60000);
    EXPECT_TRUE(CallSlot<bool>(object, 2));
    EXPECT_TRUE(CallSlot<bool>(object, 6, std::int32_t{0}, std::int32_t{2}));
    ASSERT_TRUE(WaitUntil([&] { return io->Writes().size() == 4; }));
    EXPECT_TRUE(CallSlot<bool>(object, 3));
    EXPECT_FALSE(CallSlot<bool>(object, 6, std::int32_t{0}, std::int32_t{1}));

    EXPECT_EQ(CallSlot<void*>(object, 0, 1u), object);
    EXPECT_TRUE(destroyed.load());
}

}  // namespace
}  // namespace brevane
