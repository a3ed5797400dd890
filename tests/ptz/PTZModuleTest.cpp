// PTZ as a host sees it: the built module loaded as a host loads it, a driver made
// through the exports and opened against the camera simulator, and every PTZ
// interface called by table entry.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "camsim/Simulator.h"
#include "darvik/DarvikIPCapture.h"
#include "kit/FrameAllocator.h"
#include "kit/MessageSink.h"
#include "kit/ModuleLoader.h"
#include "kit/OpenParameters.h"
#include "platform/Platform.h"
#include "support/CameraRequests.h"
#include "support/SlotCall.h"
#include "support/Wait.h"

namespace {

using brevane::test::CallSlot;

// The module keeps preset files beside the host executable: this test.
std::filesystem::path HostDirectory() { return std::filesystem::path(brevane::platform::ExecutableDirectory()); }

// CTest runs every case as its own process, side by side, and they all share
// the host directory: the process ID in the MAC address gives each case its
// own preset file, so one case's clean-up never removes another's file.
std::string MacOfThisProcess(bool withDashes) {
    const unsigned pid = static_cast<unsigned>(::getpid());
    char text[32];
    std::snprintf(text, sizeof(text), withDashes ? "0A-0B-0C-%02X-%02X-%02X" : "0A0B0C%02X%02X%02X",
                  (pid >> 16) & 0xFF, (pid >> 8) & 0xFF, pid & 0xFF);
    return text;
}

class PTZThroughTheModule : public ::testing::Test {
   protected:
    const std::string kMac = MacOfThisProcess(true);
    const std::string kFile = "Darvik_" + MacOfThisProcess(false) + ".preset";

    void SetUp() override {
        std::filesystem::remove(HostDirectory() / kFile);
        darvik::camsim::Config config;
        config.macAddress = kMac;
        m_camera = std::make_unique<darvik::camsim::Simulator>(config);
        std::string error;
        ASSERT_TRUE(m_camera->Start(&error)) << error;
        ASSERT_TRUE(m_loader.Load(DARVIK_MODULE_PATH)) << m_loader.Error();
        m_parameters.connection.address = "127.0.0.1";
        m_parameters.connection.port = m_camera->Port();
        m_parameters.SetCustomParameter(1, "0");
    }
    void TearDown() override {
        m_camera->Stop();
        std::filesystem::remove(HostDirectory() / kFile);
    }

    // Opens a new driver and returns its PTZ driver (table entry 6).
    void* OpenPtzDriver(brevane::ipcapture::IIPCaptureDriverEx*& driver) {
        driver = m_loader.Exports().CreateIPCaptureEx();
        EXPECT_NE(driver, nullptr);
        EXPECT_TRUE(driver->Open(&m_sink, &m_frames, &m_parameters));
        return CallSlot<void*>(driver, 6);
    }

    std::vector<std::string> Targets() const { return brevane::test::RequestTargets(*m_camera); }
    void WaitForRequests(std::size_t count) const {
        brevane::test::WaitUntil([&] { return m_camera->RequestLog().size() >= count; });
    }

    std::unique_ptr<darvik::camsim::Simulator> m_camera;
    darvik::host::ModuleLoader m_loader;
    darvik::host::MessageSink m_sink;
    darvik::host::FrameAllocator m_frames;
    darvik::host::OpenParameters m_parameters;
};

TEST_F(PTZThroughTheModule, HostDrivesTheHeadAndPresetsByTableEntry) {
    brevane::ipcapture::IIPCaptureDriverEx* driver = nullptr;
    void* ptzDriver = OpenPtzDriver(driver);
    ASSERT_NE(ptzDriver, nullptr);
    EXPECT_EQ((CallSlot<void*, std::uint32_t>(ptzDriver, 1, 1u)), nullptr);  // GetPTZApi(1)
    void* api = CallSlot<void*, std::uint32_t>(ptzDriver, 1, 0u);
    ASSERT_NE(api, nullptr);
    EXPECT_EQ((CallSlot<void*, std::uint32_t>(ptzDriver, 1, 0u)), api);
    EXPECT_EQ((CallSlot<std::int32_t>(api, 1)), brevane::PTZ_OK);  // CheckReady
    EXPECT_TRUE(std::filesystem::exists(HostDirectory() / kFile));
    m_camera->ClearRequestLog();

    // StartMove(left, 16), then StopAll: the head pans left and stops.
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t, std::int32_t>(api, 2, 0, 16)), brevane::PTZ_OK);
    WaitForRequests(1);
    EXPECT_EQ(m_camera->Head().pan.direction, -1);
    EXPECT_EQ((CallSlot<std::int32_t>(api, 3)), brevane::PTZ_OK);
    WaitForRequests(2);
    EXPECT_FALSE(m_camera->Head().pan.Active());
    const double doorPan = m_camera->Head().position.pan;
    EXPECT_LT(doorPan, 0.0);

    // AddPreposition (17) twice, moving in between, then GotoPreposition (16).
    EXPECT_EQ((CallSlot<std::int32_t, const char*>(api, 17, "Door")), brevane::PTZ_OK);
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t>(api, 5, 16)), brevane::PTZ_OK);  // ZoomIn
    WaitForRequests(4);
    EXPECT_EQ((CallSlot<std::int32_t>(api, 3)), brevane::PTZ_OK);
    WaitForRequests(5);
    EXPECT_EQ((CallSlot<std::int32_t, const char*>(api, 17, "T\xFCr")), brevane::PTZ_OK);
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t, const char*>(api, 16, 0, "Door")), brevane::PTZ_OK);
    EXPECT_EQ(m_camera->Head().position.pan, doorPan);
    EXPECT_EQ(m_camera->Head().position.zoom, 0.0);
    EXPECT_EQ(Targets(), (std::vector<std::string>{"/cgi-bin/set?p_panl=15", "/cgi-bin/set?p_ptms=1",
                                                   "/cgi-bin/set?p_prss=0", "/cgi-bin/set?p_zomi=30",
                                                   "/cgi-bin/set?p_zoms=1", "/cgi-bin/set?p_prss=1",
                                                   "/cgi-bin/set?p_prsm=0"}));

    char name[32] = {};
    EXPECT_EQ((CallSlot<std::int32_t>(api, 14)), 2);  // GetPrepositionCount
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t, char*, std::uint32_t>(api, 15, 1, name, 32u)), brevane::PTZ_OK);
    EXPECT_STREQ(name, "T\xFCr");
    EXPECT_EQ((CallSlot<std::int32_t, char*, std::uint32_t>(api, 19, name, 32u)), brevane::PTZ_OK);
    EXPECT_STREQ(name, "Door");
    std::int32_t record[brevane::kPtzCapabilityWords] = {};
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t*>(api, 13, record)), brevane::PTZ_OK);
    // Pan, tilt, zoom, focus and iris; 255 presets, two of them stored.
    EXPECT_EQ(std::vector<std::int32_t>(std::begin(record), std::end(record)),
              (std::vector<std::int32_t>{0, 1, 1, 1, 1, 1, 0, 255, 2, 0, 0, 0, 0, 0}));
    driver->Close();
    EXPECT_EQ(driver->GetPTZDriver(), nullptr);
    m_loader.Exports().DeleteIPCaptureEx(driver);

    // A new driver (a restarted host) finds both names in the file.
    void* again = OpenPtzDriver(driver);
    void* api2 = CallSlot<void*, std::uint32_t>(again, 1, 0u);
    ASSERT_NE(api2, nullptr);
    EXPECT_EQ((CallSlot<std::int32_t>(api2, 14)), 2);
    EXPECT_EQ((CallSlot<std::int32_t, std::int32_t, char*, std::uint32_t>(api2, 15, 0, name, 32u)), brevane::PTZ_OK);
    EXPECT_STREQ(name, "Door");
    EXPECT_EQ((CallSlot<std::int32_t, const char*>(api2, 18, "Door")), brevane::PTZ_OK);  // RemovePreposition
    EXPECT_EQ((CallSlot<std::int32_t>(api2, 14)), 1);
    EXPECT_EQ(m_camera->Presets().count(0), 0u);
    m_loader.Exports().DeleteIPCaptureEx(driver);  // deleted without Close: the destructor closes
}

TEST_F(PTZThroughTheModule, UnknownMacAddressMeansNoPTZ) {
    m_camera->Stop();
    darvik::camsim::Config config;
    config.macAddress = "../../x";
    m_camera = std::make_unique<darvik::camsim::Simulator>(config);
    ASSERT_TRUE(m_camera->Start());
    m_parameters.connection.port = m_camera->Port();
    brevane::ipcapture::IIPCaptureDriverEx* driver = nullptr;
    void* ptzDriver = OpenPtzDriver(driver);
    ASSERT_NE(ptzDriver, nullptr);
    EXPECT_EQ((CallSlot<void*, std::uint32_t>(ptzDriver, 1, 0u)), nullptr);
    EXPECT_FALSE(std::filesystem::exists(HostDirectory() / "Darvik_..x.preset"));
    EXPECT_FALSE(std::filesystem::exists(HostDirectory() / "Darvik_.." / "..x.preset"));
    EXPECT_EQ(m_sink.Matching("cannot name a preset file").size(), 1u);
    m_loader.Exports().DeleteIPCaptureEx(driver);
}

}  // namespace
