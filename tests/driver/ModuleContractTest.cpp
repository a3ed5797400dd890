// The driver as a host sees it: loaded with dlopen, reached through the
// exports only, and called by virtual-table entry (slot N = entry N).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "darvik/DarvikIPCapture.h"
#include "kit/FrameAllocator.h"
#include "kit/MessageSink.h"
#include "kit/ModuleLoader.h"
#include "kit/OpenParameters.h"
#include "support/SlotCall.h"
#include "support/TempDir.h"

namespace {

using brevane::ipcapture::IIPCaptureDriver;
using brevane::ipcapture::IIPCaptureDriverEx;
using brevane::test::CallSlot;

// A message sink that reads each line through table entries 1 and 2 of the
// message object, as a host built by another compiler would.
class RawReadingSink final : public brevane::ipcapture::IMessageSink {
    DARVIK_IMPLEMENT_SLOT0(RawReadingSink)

   public:
    struct Line {
        int level;
        std::string text;
        bool textNull;
    };
    void OnMessage(CDebugInfoIf* message) override {
        const std::int8_t level = CallSlot<std::int8_t>(message, 1);
        const char* text = CallSlot<const char*>(message, 2);
        lines.push_back({level, text != nullptr ? text : "", text == nullptr});
    }
    std::vector<Line> lines;
};

class ModuleContractTest : public ::testing::Test {
   protected:
    ModuleContractTest() : m_cwd(m_dir.Path()) {}

    void SetUp() override {
        ASSERT_TRUE(m_loader.Load(DARVIK_MODULE_PATH)) << m_loader.Error();
        m_parameters.SetCustomParameter(1, "1");
        m_parameters.connection.address = "127.0.0.1";
        m_parameters.connection.port = 8081;
        m_parameters.device.modelName = "DVK-100";
    }

    const darvik::host::ModuleExports& Module() const { return m_loader.Exports(); }

    // No host module in the working directory.
    brevane::test::TempDir m_dir;
    brevane::test::ScopedWorkingDirectory m_cwd;
    darvik::host::ModuleLoader m_loader;
    darvik::host::MessageSink m_sink;
    darvik::host::FrameAllocator m_frames;
    darvik::host::OpenParameters m_parameters;
};

TEST_F(ModuleContractTest, CreateOpenCloseDeleteThroughTheExports) {
    IIPCaptureDriver* plain = Module().CreateIPCapture();
    IIPCaptureDriverEx* extended = Module().CreateIPCaptureEx();
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(extended, nullptr);
    ASSERT_NE(static_cast<void*>(plain), static_cast<void*>(extended));

    EXPECT_TRUE(plain->Open(&m_sink, &m_frames, &m_parameters));
    EXPECT_TRUE(extended->Open(&m_sink, &m_frames, &m_parameters));
    EXPECT_NE(extended->GetCaptureIO(), nullptr);
    EXPECT_NE(extended->GetPTZDriver(), nullptr);
    EXPECT_EQ(extended->GetExtraInterface(), nullptr);
    plain->Close();
    extended->Close();
    EXPECT_EQ(extended->GetCaptureIO(), nullptr);

    // The opened line arrives with the level mapped for host version 5.12.
    const auto lines = m_sink.Matching("DRIVER IS OPENED");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text,
              "DRIVER IS OPENED (name: DarvikIPCapture, device model: DVK-100, address: 127.0.0.1:8081)");
    EXPECT_EQ(lines[0].level, 3);

    Module().DeleteIPCapture(plain);
    Module().DeleteIPCaptureEx(extended);
    Module().DeleteIPCapture(nullptr);
    Module().DeleteIPCaptureEx(nullptr);
}

TEST_F(ModuleContractTest, DeleteWithoutOpenOrCloseReleasesEverything) {
    IIPCaptureDriverEx* unopened = Module().CreateIPCaptureEx();
    ASSERT_NE(unopened, nullptr);
    EXPECT_EQ(unopened->GetVideoCapture(), nullptr);
    EXPECT_EQ(unopened->GetCaptureIO(), nullptr);
    EXPECT_EQ(unopened->GetPTZDriver(), nullptr);
    EXPECT_EQ(unopened->GetExtraInterface(), nullptr);
    Module().DeleteIPCaptureEx(unopened);

    // Opened and deleted without Close: the destructor closes (a leak would
    // show under the address sanitizer).
    IIPCaptureDriverEx* opened = Module().CreateIPCaptureEx();
    ASSERT_TRUE(opened->Open(&m_sink, &m_frames, &m_parameters));
    Module().DeleteIPCaptureEx(opened);
}

TEST_F(ModuleContractTest, DriverSlotsAreTableEntries) {
    IIPCaptureDriverEx* driver = Module().CreateIPCaptureEx();
    ASSERT_NE(driver, nullptr);
    void* object = driver;
    RawReadingSink sink;

    // Entries 3, 4, 6 and 5 before Open: nothing yet.
    EXPECT_EQ(CallSlot<void*>(object, 3), nullptr);
    EXPECT_EQ(CallSlot<void*>(object, 4), nullptr);
    EXPECT_EQ(CallSlot<void*>(object, 6), nullptr);
    EXPECT_EQ(CallSlot<void*>(object, 5), nullptr);

    // Entry 1: Open.
    EXPECT_TRUE((CallSlot<bool, brevane::ipcapture::IMessageSink*, brevane::ipcapture::IFrameAllocator*,
                          brevane::ipcapture::IOpenParameters*>(object, 1, &sink, &m_frames, &m_parameters)));
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(sink.lines[0].level, 3);
    EXPECT_EQ(sink.lines[0].text,
              "DRIVER IS OPENED (name: DarvikIPCapture, device model: DVK-100, address: 127.0.0.1:8081)");

    // Entries 4 and 6 answer what the named operations answer; 3 and 5 stay null.
    EXPECT_NE(CallSlot<void*>(object, 4), nullptr);
    EXPECT_EQ(CallSlot<void*>(object, 4), static_cast<void*>(driver->GetCaptureIO()));
    EXPECT_NE(CallSlot<void*>(object, 6), nullptr);
    EXPECT_EQ(CallSlot<void*>(object, 6), static_cast<void*>(driver->GetPTZDriver()));
    EXPECT_EQ(CallSlot<void*>(object, 3), static_cast<void*>(driver->GetVideoCapture()));
    EXPECT_EQ(CallSlot<void*>(object, 5), nullptr);

    // Entries 7 and 8 (CreateIO, CreatePTZ) refuse while the objects exist.
    EXPECT_FALSE(CallSlot<bool>(object, 7));
    EXPECT_FALSE(CallSlot<bool>(object, 8));

    // Entry 2: Close.
    CallSlot<void>(object, 2);
    EXPECT_EQ(driver->GetCaptureIO(), nullptr);
    EXPECT_EQ(driver->GetPTZDriver(), nullptr);

    // Entries 7 and 8 now create the I/O and the PTZ object.
    EXPECT_TRUE(CallSlot<bool>(object, 7));
    EXPECT_NE(driver->GetCaptureIO(), nullptr);
    EXPECT_EQ(driver->GetPTZDriver(), nullptr);
    EXPECT_TRUE(CallSlot<bool>(object, 8));
    EXPECT_NE(driver->GetPTZDriver(), nullptr);

    // Entry 0 with flags 1 destroys and frees the object, returning its address.
    EXPECT_EQ(CallSlot<void*>(object, 0, 1u), object);
}

}  // namespace
