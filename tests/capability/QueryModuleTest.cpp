// The capability query module: Start's refusals, the address check, every
// failure message, cancel, abandoning a query at destruction (with the
// camera stalled and with a thread that ignores the abort), the single
// instance, and the IIPCapabilityQuery slots as table entries.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "camsim/Simulator.h"
#include "capability/DarvikCapabilityQueryModule.h"
#include "capability/CapabilityQueryExports.h"
#include "kit/CapabilityQueryCallback.h"
#include "kit/CapabilitySink.h"
#include "platform/WaitableEvent.h"
#include "platform/Platform.h"
#include "support/SlotCall.h"
#include "support/Wait.h"

namespace brevane {
namespace {

using darvik::host::CapabilityQueryCallback;
using darvik::host::CapabilitySink;
using darvik::host::QueryOutcome;
using brevane::test::CallSlot;
using test::WaitUntil;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// How a FakeProperties behaves; shared with the test, so it outlives the
// properties object.
struct FakeScript {
    enum class Hang { No, UntilAborted, UntilReleased };
    bool fetchResult = true;
    std::int32_t fetchCode = 3;
    bool saveResult = true;
    Hang hang = Hang::No;
    platform::WaitableEvent entered{true, false};
    platform::WaitableEvent release{true, false};
    std::atomic<int> fetches{0};
    std::atomic<int> alive{0};
};

class FakeProperties final : public CCameraPropertiesEx {
   public:
    FakeProperties(const DEVICE_INFO& device, std::shared_ptr<FakeScript> script)
        : CCameraPropertiesEx(device), m_script(std::move(script)) {
        ++m_script->alive;
    }
    ~FakeProperties() override { --m_script->alive; }

    bool Fetch(std::int32_t& code) override {
        ++m_script->fetches;
        m_script->entered.Set();
        if (m_script->hang != FakeScript::Hang::No) {
            m_script->release.Wait(platform::kInfinite);
        }
        if (!m_script->fetchResult) {
            code = m_script->fetchCode;
        }
        return m_script->fetchResult;
    }
    bool Save(ipcapture::ICapabilitySink* sink) override {
        return m_script->saveResult && CCameraPropertiesEx::Save(sink);
    }
    void AbortRequests() override {
        if (m_script->hang == FakeScript::Hang::UntilAborted) {
            m_script->release.Set();
        }
    }

   private:
    std::shared_ptr<FakeScript> m_script;
};

class FakeModule final : public CCapabilityQueryModule {
   public:
    FakeModule(ipcapture::ICapabilityQueryCallback* callback, std::uint32_t timeoutMs,
               std::shared_ptr<FakeScript> script, bool noProperties = false)
        : CCapabilityQueryModule(callback, 5, timeoutMs), m_script(std::move(script)), m_none(noProperties) {}
    ~FakeModule() override = default;
    CCameraPropertiesEx* CreateProperties() override {
        return m_none ? nullptr : new FakeProperties(Device(), m_script);
    }

   private:
    std::shared_ptr<FakeScript> m_script;
    bool m_none;
};

class QueryModuleTest : public ::testing::Test {
   protected:
    void TearDown() override {
        // Every context is freed once its thread has ended.
        EXPECT_TRUE(WaitUntil([&] { return CCapabilityQueryModule::LiveContexts() == 0; }));
    }
    std::shared_ptr<FakeScript> script = std::make_shared<FakeScript>();
    CapabilityQueryCallback callback;
    CapabilitySink sink;
};

TEST_F(QueryModuleTest, StartRefusalsReturnZeroWithoutACallback) {
    {
        FakeModule module(&callback, 300, script);
        EXPECT_EQ(module.Flag(), 1);
        EXPECT_EQ(module.Start("127.0.0.1", 80, "u", "p", nullptr), 0);
        EXPECT_EQ(module.Start(nullptr, 80, "u", "p", &sink), 0);
        EXPECT_EQ(module.Start("127.0.0.1", 80, nullptr, "p", &sink), 0);
        EXPECT_EQ(module.Start("127.0.0.1", 80, "u", nullptr, &sink), 0);
        EXPECT_EQ(script->alive.load(), 0);
        // Refusals start nothing, so the module may still run its query.
        EXPECT_EQ(module.Start("127.0.0.1", 80, "u", "p", &sink), 1);
        EXPECT_EQ(callback.WaitForOutcome(5s), QueryOutcome::Succeeded);
        EXPECT_EQ(module.Start("127.0.0.1", 80, "u", "p", &sink), 0) << "one query per module";
    }
    FakeModule zeroTimeout(&callback, 0, script);
    EXPECT_EQ(zeroTimeout.Start("127.0.0.1", 80, "u", "p", &sink), 0);
    FakeModule noProperties(&callback, 300, script, true);
    EXPECT_EQ(noProperties.Start("127.0.0.1", 80, "u", "p", &sink), 0);
    EXPECT_EQ(callback.Notifications(), 1u);
}

TEST_F(QueryModuleTest, AddressWithAnInvalidCharacterFailsWithCodeZeroBeforeAnyRequest) {
    const std::string invalid = "@#$%^&*(){}[]/\\+=|:;,~'\"!?";
    ASSERT_EQ(invalid.size(), 26u);
    for (const char c : invalid) {
        CapabilityQueryCallback local;
        FakeModule module(&local, 300, script);
        ASSERT_EQ(module.Start((std::string("10.0.0.1") + c).c_str(), 80, "", "", &sink), 1) << c;
        ASSERT_EQ(local.WaitForOutcome(5s), QueryOutcome::Failed) << c;
        EXPECT_EQ(local.ErrorCode(), 0);
        EXPECT_EQ(local.Message(), "Failed to start capability fetching thread. Device address is invalid!");
    }
    EXPECT_EQ(script->fetches.load(), 0);
    // An empty address is not refused by the check.
    FakeModule empty(&callback, 300, script);
    ASSERT_EQ(empty.Start("", 80, "", "", &sink), 1);
    EXPECT_EQ(callback.WaitForOutcome(5s), QueryOutcome::Succeeded);
}

TEST_F(QueryModuleTest, EveryFailureHasItsCodeAndMessage) {
    struct Case {
        bool fetch;
        std::int32_t code;
        bool save;
        std::int32_t expectedCode;
        const char* message;
    };
    for (const Case& c : {
             Case{false, 1, true, 1, "Failed to get camera properties, login failed (invalid credentials)"},
             Case{false, 2, true, 2,
                  "Failed to get camera properties, device is offline or is located in unaccessible subnet"},
             Case{false, 3, true, 3, "Failed to get camera properties"},
             Case{false, 9, true, 9, "Failed to get camera properties"},
             Case{true, 0, false, 3, "Failed to save capability query results"},
         }) {
        auto local = std::make_shared<FakeScript>();
        local->fetchResult = c.fetch;
        local->fetchCode = c.code;
        local->saveResult = c.save;
        CapabilityQueryCallback outcome;
        FakeModule module(&outcome, 300, local);
        ASSERT_EQ(module.Start("camera", 80, "", "", &sink), 1);
        ASSERT_EQ(outcome.WaitForOutcome(5s), QueryOutcome::Failed) << c.message;
        EXPECT_EQ(outcome.ErrorCode(), c.expectedCode);
        EXPECT_EQ(outcome.Message(), c.message);
    }
}

TEST_F(QueryModuleTest, QueryAgainstTheSimulatorWithPortTakenAsSixteenBits) {
    darvik::camsim::Config config;
    config.ntsc = true;
    darvik::camsim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    CDarvikCapabilityQueryModule module(&callback, 0, 300);
    const std::int32_t port = 0x10000 + sim.Port();
    ASSERT_EQ(module.Start("127.0.0.1", port, "admin", "admin", &sink), 1);
    ASSERT_EQ(callback.WaitForOutcome(5s), QueryOutcome::Succeeded);
    EXPECT_EQ(sink.ModelName(), "Darvik TC-830NX");
    EXPECT_EQ(sink.ConnectionField(1), "127.0.0.1");
    EXPECT_EQ(sink.ConnectionField(2), std::to_string(sim.Port()));
    EXPECT_EQ(sink.ConnectionField(3), "admin");
    EXPECT_EQ(sink.Resolutions().size(), 3u);
}

TEST_F(QueryModuleTest, TerminateEndsTheQueryEarlyAndStillReports) {
    darvik::camsim::Config config;
    config.ntsc = true;
    config.faults.delayMs = 300;
    config.faults.onlyPaths = {"/cgi-bin/get?mpg"};
    darvik::camsim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    CDarvikCapabilityQueryModule module(&callback, 0, 2000);
    ASSERT_EQ(module.Start("127.0.0.1", sim.Port(), "", "", &sink), 1);
    ASSERT_TRUE(WaitUntil([&] { return sim.RequestLog().size() == 2; }));  // the MPEG query waits
    module.Terminate();
    ASSERT_EQ(callback.WaitForOutcome(5s), QueryOutcome::Succeeded);
    EXPECT_EQ(sim.RequestLog().size(), 2u) << "no query after the one in progress";
    EXPECT_TRUE(sink.Resolutions().empty());
    ASSERT_EQ(sink.Parameters().size(), 1u);
    EXPECT_EQ(sink.Parameters()[0].value, "1") << "the MPEG query in progress completed";
}

// Ending a query right away, by deleting its module or uninitialising the
// single instance, still lets it report what it did: a live camera answers
// long before the wait (twice the time-out) is over, and a camera that
// answers nothing on its port fails the query after one time-out.
TEST_F(QueryModuleTest, QueryEndedAtOnceReportsItsOutcomeWithinTheWait) {
    darvik::camsim::Config config;
    config.ntsc = true;
    darvik::camsim::Simulator live(config);
    config.faults.stall = true;
    darvik::camsim::Simulator stalled(config);
    ASSERT_TRUE(live.Start() && stalled.Start());
    constexpr std::uint32_t kTimeout = 1000;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        CapabilityQueryCallback owned;
        CapabilitySink results;
        auto module = std::make_unique<CDarvikCapabilityQueryModule>(&owned, 0, kTimeout);
        ASSERT_EQ(module->Start("127.0.0.1", live.Port(), "", "", &results), 1);
        const auto start = Clock::now();
        module.reset();
        EXPECT_LT(MillisecondsSince(start), 2 * kTimeout);
        // Success with what was fetched, or failure when the cancel came
        // before the first answer: either way the query's own outcome.
        EXPECT_NE(owned.Outcome(), QueryOutcome::Aborted);
        EXPECT_NE(owned.Outcome(), QueryOutcome::None);
        EXPECT_EQ(owned.Notifications(), 1u);
    }

    ASSERT_EQ(capability::InitSingleQuery(&callback, 0, kTimeout), 1);
    ASSERT_EQ(capability::StartSingleQuery("127.0.0.1", live.Port(), "", "", &sink), 1);
    EXPECT_EQ(capability::TerminateSingleQuery(), 1);
    EXPECT_EQ(capability::UninitSingleQuery(), 1);
    EXPECT_NE(callback.Outcome(), QueryOutcome::Aborted);
    EXPECT_NE(callback.Outcome(), QueryOutcome::None);

    CapabilityQueryCallback silent;
    auto module = std::make_unique<CDarvikCapabilityQueryModule>(&silent, 0, kTimeout);
    ASSERT_EQ(module->Start("127.0.0.1", stalled.Port(), "", "", &sink), 1);
    ASSERT_TRUE(WaitUntil([&] { return !stalled.RequestLog().empty(); }));
    const auto start = Clock::now();
    module.reset();
    EXPECT_LT(MillisecondsSince(start), 2 * kTimeout + 500);
    EXPECT_EQ(silent.Outcome(), QueryOutcome::Failed);
    EXPECT_EQ(silent.Notifications(), 1u);
    EXPECT_EQ(stalled.RequestLog().size(), 1u) << "one request, no second scheme";
}

// A query still running when the wait is over is abandoned: the host hears
// OnQueryAborted, the request in progress (here a reply trickling in,
// which the time-out never ends) is aborted and the query's thread ends at
// once rather than at the reply's own bound.
TEST_F(QueryModuleTest, QueryStillRunningAfterTheWaitIsAbortedAndItsThreadEnds) {
    darvik::camsim::Config config;
    config.faults.dripIntervalMs = 50;
    config.faults.padRepliesTo = 1000000;
    darvik::camsim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    constexpr std::uint32_t kTimeout = 2000;
    auto module = std::make_unique<CDarvikCapabilityQueryModule>(&callback, 0, kTimeout);
    ASSERT_EQ(module->Start("127.0.0.1", sim.Port(), "", "", &sink), 1);
    ASSERT_TRUE(WaitUntil([&] { return !sim.RequestLog().empty(); }));
    const auto start = Clock::now();
    module.reset();
    EXPECT_GE(MillisecondsSince(start), kTimeout) << "the query had its time";
    EXPECT_EQ(callback.Outcome(), QueryOutcome::Aborted);
    EXPECT_EQ(callback.Notifications(), 1u);
    EXPECT_TRUE(WaitUntil([] { return CCapabilityQueryModule::LiveContexts() == 0; }, kTimeout / 2))
        << "the query's thread has ended";
    EXPECT_TRUE(sink.Calls().empty());
}

TEST_F(QueryModuleTest, ThreadThatIgnoresTheAbortIsLeftBehindAndTouchesNoHostObject) {
    script->hang = FakeScript::Hang::UntilReleased;
    auto owned = std::make_unique<CapabilityQueryCallback>();
    auto ownedSink = std::make_unique<CapabilitySink>();
    auto module = std::make_unique<FakeModule>(owned.get(), 150, script);
    ASSERT_EQ(module->Start("camera", 80, "", "", ownedSink.get()), 1);
    ASSERT_TRUE(script->entered.Wait(5000));

    const auto start = Clock::now();
    module.reset();
    const long long elapsed = MillisecondsSince(start);
    EXPECT_GE(elapsed, 250) << "waits about twice the time-out";
    EXPECT_LT(elapsed, 2000);
    EXPECT_EQ(owned->Outcome(), QueryOutcome::Aborted);
    EXPECT_EQ(owned->Notifications(), 1u);
    EXPECT_EQ(CCapabilityQueryModule::LiveContexts(), 1) << "the thread still holds its context";

    // The host frees its objects; the abandoned thread then finishes. Under
    // the address sanitizer any call into them would be caught here.
    owned.reset();
    ownedSink.reset();
    script->release.Set();
    EXPECT_TRUE(WaitUntil([&] { return CCapabilityQueryModule::LiveContexts() == 0; }));
    EXPECT_TRUE(WaitUntil([&] { return script->alive.load() == 0; }));
}

TEST_F(QueryModuleTest, DestructionAfterTheQueryReportedIsQuiet) {
    {
        FakeModule module(&callback, 300, script);
        ASSERT_EQ(module.Start("camera", 80, "", "", &sink), 1);
        ASSERT_EQ(callback.WaitForOutcome(5s), QueryOutcome::Succeeded);
    }
    EXPECT_EQ(callback.Notifications(), 1u);
    EXPECT_EQ(script->alive.load(), 0);
}

// Deletes its module from inside the final callback, on the fetching thread.
class DeletingCallback final : public ipcapture::ICapabilityQueryCallback {
    DARVIK_IMPLEMENT_SLOT0(DeletingCallback)

   public:
    ~DeletingCallback() = default;
    void OnQuerySucceeded() override {
        capability::DeleteQueryModule(module);
        done.Set();
    }
    void OnQueryFailed(std::int32_t, const char*) override { OnQuerySucceeded(); }
    void OnQueryAborted() override { ++aborted; }
    ipcapture::IIPCapabilityQuery* module = nullptr;
    platform::WaitableEvent done{true, false};
    std::atomic<int> aborted{0};
};

TEST_F(QueryModuleTest, CallbackMayDeleteItsOwnModule) {
    DeletingCallback deleting;
    deleting.module = capability::CreateQueryModule(&deleting, 0, 300);
    ASSERT_NE(deleting.module, nullptr);
    ASSERT_EQ(deleting.module->Start("camera?", 80, "", "", &sink), 1);
    EXPECT_TRUE(deleting.done.Wait(5000));
    EXPECT_EQ(deleting.aborted.load(), 0);
    // The callback object stays until its thread is gone.
    EXPECT_TRUE(WaitUntil([&] { return CCapabilityQueryModule::LiveContexts() == 0; }));
}

TEST_F(QueryModuleTest, SingleInstanceRules) {
    using namespace capability;
    EXPECT_EQ(StartSingleQuery("camera", 80, "", "", &sink), 0) << "no instance yet";
    EXPECT_EQ(TerminateSingleQuery(), 1);
    EXPECT_EQ(UninitSingleQuery(), 1);

    CapabilityQueryCallback second;
    ASSERT_EQ(InitSingleQuery(&callback, 0, 300), 1);
    EXPECT_EQ(InitSingleQuery(&second, 0, 300), 0);
    EXPECT_EQ(StartSingleQuery(nullptr, 80, "", "", &sink), 0);
    EXPECT_EQ(StartSingleQuery("camera", 80, nullptr, "", &sink), 0);
    EXPECT_EQ(StartSingleQuery("camera", 80, "", nullptr, &sink), 0);
    // The first instance and its callback serve the query.
    ASSERT_EQ(StartSingleQuery("camera:8080", 80, "", "", &sink), 1);
    EXPECT_EQ(callback.WaitForOutcome(5s), QueryOutcome::Failed);
    EXPECT_EQ(callback.ErrorCode(), 0);
    EXPECT_EQ(StartSingleQuery("camera", 80, "", "", &sink), 0) << "a finished query is not restarted";
    EXPECT_EQ(TerminateSingleQuery(), 1);
    EXPECT_EQ(UninitSingleQuery(), 1);
    EXPECT_EQ(second.Notifications(), 0u);

    ASSERT_EQ(InitSingleQuery(&second, 0, 300), 1);
    ASSERT_EQ(StartSingleQuery("camera/x", 80, "", "", &sink), 1);
    EXPECT_EQ(second.WaitForOutcome(5s), QueryOutcome::Failed);
    EXPECT_EQ(UninitSingleQuery(), 1);
}

TEST_F(QueryModuleTest, QuerySlotsAreTableEntries) {
    auto* module = new FakeModule(&callback, 300, script);
    void* object = static_cast<ipcapture::IIPCapabilityQuery*>(module);
    ASSERT_EQ(object, static_cast<void*>(module));

    // Slot 3 hands out a new properties object.
    auto* properties = CallSlot<CCameraPropertiesEx*>(object, 3);
    ASSERT_NE(properties, nullptr);
    EXPECT_EQ(script->alive.load(), 1);
    delete properties;

    EXPECT_EQ((CallSlot<std::int32_t, const char*, std::int32_t, const char*, const char*,
                        ipcapture::ICapabilitySink*>(object, 1, "camera", 80, "", "", nullptr)),
              0);
    script->hang = FakeScript::Hang::UntilAborted;
    EXPECT_EQ((CallSlot<std::int32_t, const char*, std::int32_t, const char*, const char*,
                        ipcapture::ICapabilitySink*>(object, 1, "camera", 80, "", "", &sink)),
              1);
    ASSERT_TRUE(script->entered.Wait(5000));
    CallSlot<void>(object, 2);  // Terminate
    const auto start = Clock::now();
    EXPECT_EQ(CallSlot<void*>(object, 0, 1u), object);
    // Twice the time-out for the query to end, then the abort frees the thread.
    EXPECT_GE(MillisecondsSince(start), 2 * 300 - 50);
    EXPECT_LT(MillisecondsSince(start), 2 * 300 + 500) << "the abort frees the thread at once";
    EXPECT_EQ(callback.Outcome(), QueryOutcome::Aborted);
}

}  // namespace
}  // namespace brevane
