#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ptz/BasePTZComm.h"
#include "ptz/BasePTZControl.h"
#include "ptz/DarvikPTZHandler.h"
#include "ptz/SimulatedCamera.h"
#include "settings/TempSettingsDirectory.h"
#include "support/DeviceInfo.h"
#include "support/Wine.h"
#include "settings/XMLSettingsAPI.h"

namespace brevane {
namespace {

using test::SimulatedCamera;
using test::TempSettingsDirectory;

darvik::camsim::Config WithMac(const std::string& mac) {
    darvik::camsim::Config config;
    config.macAddress = mac;
    return config;
}

class PTZHandler : public ::testing::Test {
   protected:
    TempSettingsDirectory m_dir;
};

TEST_F(PTZHandler, ChannelZeroOnlyAndOneControlPerChannel) {
    SimulatedCamera camera;
    CDarvikPTZHandler handler(&camera.driver);
    EXPECT_EQ(handler.GetPTZApi(1), nullptr);
    IIPPTZApi* api = handler.GetPTZApi(0);
    ASSERT_NE(api, nullptr);
    EXPECT_EQ(handler.GetPTZApi(0), api);
    EXPECT_EQ(test::CountTarget(camera.Sim(), "/cgi-bin/get?net"), 1u);
    EXPECT_EQ(static_cast<CBasePTZControl*>(api)->GetComm()->Name(), "BaseIPPTZThread_Ch1");

    // The preset file is named after the MAC address, root element Darvik.
    EXPECT_EQ(m_dir.Listing(), "Darvik_0011223344AA.preset ");
    EXPECT_EQ(m_dir.Read("Darvik_0011223344AA.preset"),
              "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<Darvik/>\n");
    EXPECT_EQ(handler.GetReader()->RootName(), "Darvik");
}

TEST_F(PTZHandler, WithoutAMacAddressThereIsNoPTZAndEveryCallRetries) {
    SimulatedCamera camera(WithMac(""));
    CDarvikPTZHandler handler(&camera.driver);
    EXPECT_EQ(handler.GetPTZApi(0), nullptr);
    EXPECT_EQ(handler.GetPTZApi(0), nullptr);
    EXPECT_EQ(test::CountTarget(camera.Sim(), "/cgi-bin/get?net"), 2u);
    EXPECT_EQ(m_dir.Listing(), "");

    // Unreachable camera: the request helper's line, still no PTZ.
    test::FakeDriver offline;
    offline.SetDevice(test::LocalDevice(9, 300));
    CDarvikPTZHandler unreachable(&offline);
    EXPECT_EQ(unreachable.GetPTZApi(0), nullptr);
    ASSERT_EQ(offline.Lines().size(), 1u);
    EXPECT_NE(offline.Lines()[0].text.find("brevane::Utils::SendRequestEx: can not send request \"/cgi-bin/get?net\""),
              std::string::npos);
}

TEST_F(PTZHandler, MacAddressesThatCannotNameAFileAreRefused) {
    std::string name;
    EXPECT_TRUE(CDarvikPTZHandler::PresetFileNameFor("00-11-22-33-44-AA", name));
    EXPECT_EQ(name, "Darvik_0011223344AA.preset");
    EXPECT_TRUE(CDarvikPTZHandler::PresetFileNameFor("deadBEEF0001", name));
    EXPECT_EQ(name, "Darvik_deadBEEF0001.preset");
    for (const std::string mac : {"../../x", "00:11:22:33:44:AA", "a/b", "--", "", "00 11", "..", "\xC4\xD6",
                                  "00-11\\22", "%s%n"}) {
        EXPECT_FALSE(CDarvikPTZHandler::PresetFileNameFor(mac, name)) << mac;
    }

    SimulatedCamera camera(WithMac("../../x"));
    CDarvikPTZHandler handler(&camera.driver);
    EXPECT_EQ(handler.GetPTZApi(0), nullptr);
    EXPECT_EQ(m_dir.Listing(), "");
    EXPECT_FALSE(handler.GetReader());  // no file was opened or created anywhere
    EXPECT_TRUE(camera.driver.WaitForLine("the MAC address \"../../x\" cannot name a preset file",
                                          std::chrono::milliseconds(0)));

    // The whole value counts: a NUL inside must not leave "001122" to name
    // a file.
    SimulatedCamera cut(WithMac(std::string("00-11-22\0-33-44-AB", 18)));
    CDarvikPTZHandler cutHandler(&cut.driver);
    EXPECT_EQ(cutHandler.GetPTZApi(0), nullptr);
    EXPECT_EQ(m_dir.Listing(), "");
    EXPECT_TRUE(cut.driver.WaitForLine("the MAC address \"00-11-22\\x00-33-44-AB\" cannot name a preset file",
                                       std::chrono::milliseconds(0)));
}

TEST_F(PTZHandler, PresetFileSetAsideIsReportedWithBothNames) {
    m_dir.Write("Darvik_0011223344AA.preset", "<Darvik><PtzChannel01>");
    SimulatedCamera camera;
    CDarvikPTZHandler handler(&camera.driver);
    ASSERT_NE(handler.GetPTZApi(0), nullptr);
    const std::string path = m_dir.File("Darvik_0011223344AA.preset");
    EXPECT_EQ(camera.driver.FormattedLines(),
              (std::vector<std::string>{"1 brevane::CBasePTZHandler::InitializeXMLStorage: the preset file \"" + path +
                                        "\" cannot be read; it was kept as \"" + path +
                                        ".unreadable\" and a new one started"}));
}

TEST_F(PTZHandler, UnwritablePresetLocationIsReportedOnceAndPTZStillWorks) {
    brevane::settings::SetSettingsDirectoryForTesting(m_dir.File("missing/"));
    SimulatedCamera camera;
    CDarvikPTZHandler handler(&camera.driver);
    IIPPTZApi* api = handler.GetPTZApi(0);
    ASSERT_NE(api, nullptr);
    EXPECT_EQ(camera.driver.FormattedLines(),
              (std::vector<std::string>{"1 brevane::CBasePTZHandler::InitializeXMLStorage: cannot initialize "
                                        "CXMLPrepositionReader object with parameter \"Darvik_0011223344AA.preset\""}));
    EXPECT_EQ(api->StartMove(PTZ_DIR_LEFT, 4), PTZ_OK);
    // Kept in memory and on the camera, but the file write fails.
    EXPECT_EQ(api->AddPreposition("Door"), PTZ_ERR_NOT_READY);
    EXPECT_EQ(api->GetPrepositionCount(), 1);
    handler.DeleteControls();
    ASSERT_NE(handler.GetPTZApi(0), nullptr);
    EXPECT_EQ(camera.driver.Lines().size(), 1u);
}

TEST_F(PTZHandler, ConcurrentFirstRequestsShareOneControl) {
    SimulatedCamera camera;
    CDarvikPTZHandler handler(&camera.driver);
    std::vector<IIPPTZApi*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&, i] { seen[i] = handler.GetPTZApi(0); });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_NE(seen[0], nullptr);
    EXPECT_EQ(std::set<IIPPTZApi*>(seen.begin(), seen.end()).size(), 1u);
    EXPECT_EQ(test::CountTarget(camera.Sim(), "/cgi-bin/get?net"), 1u);
}

TEST_F(PTZHandler, PresetsSurviveANewHandlerWithAllNamesIntact) {
    SimulatedCamera camera;
    const std::string names[] = {"Door", "T\xFCr", "Gate 2"};
    {
        CDarvikPTZHandler handler(&camera.driver);
        IIPPTZApi* api = handler.GetPTZApi(0);
        ASSERT_NE(api, nullptr);
        for (const auto& name : names) {
            ASSERT_EQ(api->AddPreposition(name.c_str()), PTZ_OK);
        }
        ASSERT_EQ(api->RemovePreposition("Door"), PTZ_OK);
        ASSERT_EQ(api->AddPreposition("Yard"), PTZ_OK);
    }
    EXPECT_EQ(camera.Sim().Presets().size(), 3u);
    if (!brevane::test::RunningUnderWine()) {  // xmllint is a program of the Linux side
        const std::string command = "xmllint --noout '" + m_dir.File("Darvik_0011223344AA.preset") + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    CDarvikPTZHandler restarted(&camera.driver);
    IIPPTZApi* api = restarted.GetPTZApi(0);
    ASSERT_NE(api, nullptr);
    std::vector<std::string> listed;
    char buffer[64];
    for (std::int32_t i = 0; i < api->GetPrepositionCount(); ++i) {
        ASSERT_EQ(api->GetPrepositionName(i, buffer, sizeof(buffer)), PTZ_OK);
        listed.push_back(buffer);
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"T\xFCr", "Gate 2", "Yard"}));
    camera.Sim().ClearRequestLog();
    EXPECT_EQ(api->GotoPreposition(0, "Yard"), PTZ_OK);
    EXPECT_EQ(camera.Targets(), (std::vector<std::string>{"/cgi-bin/set?p_prsm=0"}));
}

}  // namespace
}  // namespace brevane
