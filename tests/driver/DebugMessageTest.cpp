// Message delivery: formatting without a length limit, level mapping by the
// host's version, level 4 dropped, empty lines, finished lines forwarded
// without a second formatting, concurrent reporters.
#if defined(_WIN32)
#include <windows.h>
#endif
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "driver/DarvikIPCaptureDriver.h"
#include "driver/DebugInfo.h"
#include "kit/FrameAllocator.h"
#include "kit/MessageSink.h"
#include "kit/OpenParameters.h"
#include "platform/Platform.h"
#include "support/PeFixture.h"
#include "support/TempDir.h"

namespace {

using brevane::CDarvikIPCaptureDriver;
using brevane::CIPCaptureDriver;
using brevane::platform::ProductVersion;
using darvik::host::Message;

TEST(MessageLevelTest, MapsStateAndOpenedLevelsByHostVersion) {
    struct Row {
        ProductVersion version;
        int state;
        int opened;
    };
    const Row rows[] = {
        {{5, 11, 99, 99}, 2, 2},  {{4, 20, 0, 0}, 2, 2},   {{5, 12, 0, 0}, 3, 3},
        {{6, 2, 9, 9}, 3, 3},     {{6, 3, 0, 0}, 3, 100},  {{7, 0, 0, 0}, 3, 100},
        {{0, 0, 0, 0}, 2, 2},
    };
    for (const Row& row : rows) {
        const std::string at = std::to_string(row.version.major) + "." + std::to_string(row.version.minor);
        EXPECT_EQ(CIPCaptureDriver::MapLevel(3, row.version), row.state) << at;
        EXPECT_EQ(CIPCaptureDriver::MapLevel(100, row.version), row.opened) << at;
        // Other levels pass unchanged, whatever the version.
        EXPECT_EQ(CIPCaptureDriver::MapLevel(1, row.version), 1) << at;
        EXPECT_EQ(CIPCaptureDriver::MapLevel(2, row.version), 2) << at;
        EXPECT_EQ(CIPCaptureDriver::MapLevel(50, row.version), 50) << at;
    }
    // Truncated to a signed 8-bit value.
    EXPECT_EQ(CIPCaptureDriver::MapLevel(300, {6, 3, 0, 0}), 44);
    EXPECT_EQ(CIPCaptureDriver::MapLevel(-1, {6, 3, 0, 0}), -1);
}

TEST(DebugInfoTest, KeepsACopyAndEmptyTextIsNull) {
    std::string text = "camera online";
    brevane::CDebugInfo info(text.c_str(), 3);
    text[0] = 'X';
    EXPECT_STREQ(info.GetText(), "camera online");
    EXPECT_EQ(info.GetLevel(), 3);
    EXPECT_EQ(brevane::CDebugInfo("", 1).GetText(), nullptr);
    EXPECT_EQ(brevane::CDebugInfo(nullptr, 1).GetText(), nullptr);
}

// A driver opened in a private working directory, optionally holding a host
// module with the given version.
class DebugMessageTest : public ::testing::Test {
   protected:
    DebugMessageTest() : m_cwd(m_dir.Path()) { m_parameters.SetCustomParameter(1, "0"); }

    void PlaceHostModule(std::uint16_t major, std::uint16_t minor, std::uint16_t build = 0,
                         std::uint16_t revision = 0) {
#if defined(_WIN32)
        // A real DLL made by windres, read by the system's version API.
        const std::string fixture = brevane::platform::ExecutableDirectory() + "recbase-" +
                                    std::to_string(major) + "." + std::to_string(minor) + "." +
                                    std::to_string(build) + "." + std::to_string(revision) + ".dll";
        ASSERT_TRUE(::CopyFileA(fixture.c_str(), brevane::platform::kHostModuleFileName, FALSE)) << fixture;
        return;
#endif
        brevane::test::PeFixtureOptions options;
        options.productVersion[0] = major;
        options.productVersion[1] = minor;
        options.productVersion[2] = build;
        options.productVersion[3] = revision;
        ASSERT_TRUE(brevane::test::WriteFile(brevane::platform::kHostModuleFileName,
                                            brevane::test::BuildPeFixture(options).bytes));
    }

    void OpenDriver() { ASSERT_TRUE(m_driver.Open(&m_sink, &m_frames, &m_parameters)); }

    // Level of the single line containing text.
    int LevelOf(const std::string& text) {
        const auto lines = m_sink.Matching(text);
        EXPECT_EQ(lines.size(), 1u) << text;
        return lines.empty() ? -1000 : lines[0].level;
    }

    brevane::test::TempDir m_dir;
    brevane::test::ScopedWorkingDirectory m_cwd;
    darvik::host::MessageSink m_sink;
    darvik::host::FrameAllocator m_frames;
    darvik::host::OpenParameters m_parameters;
    CDarvikIPCaptureDriver m_driver;
};

TEST_F(DebugMessageTest, WithoutHostModuleVersion512IsAssumed) {
    OpenDriver();
    EXPECT_EQ(m_driver.HostVersion(), (ProductVersion{5, 12, 0, 0}));
    m_driver.DebugMessage(3, "%s: Camera %s is online", "where", "cam");
    m_driver.DebugMessage(1, "failure");
    m_driver.DebugMessage(4, "never shown");
    EXPECT_EQ(LevelOf("DRIVER IS OPENED (name: DarvikIPCapture, device model: Darvik IP camera, "
                      "address: 127.0.0.1:80)"),
              3);
    EXPECT_EQ(LevelOf("where: Camera cam is online"), 3);
    EXPECT_EQ(LevelOf("failure"), 1);
    EXPECT_EQ(m_sink.Count(), 3u);
}

TEST_F(DebugMessageTest, HostModuleVersionDecidesTheDeliveredLevels) {
    const struct {
        std::uint16_t version[4];
        int state;
        int opened;
    } cases[] = {{{5, 11, 0, 0}, 2, 2}, {{6, 2, 9, 9}, 3, 3}, {{6, 3, 0, 0}, 3, 100}};
    for (const auto& c : cases) {
        PlaceHostModule(c.version[0], c.version[1], c.version[2], c.version[3]);
        darvik::host::MessageSink sink;
        CDarvikIPCaptureDriver driver;
        ASSERT_TRUE(driver.Open(&sink, &m_frames, &m_parameters));
        EXPECT_EQ(driver.HostVersion(),
                  (ProductVersion{c.version[0], c.version[1], c.version[2], c.version[3]}));
        driver.DebugMessage(3, "state");
        driver.DebugMessage(1, "failure");
        driver.DebugMessage(4, "dropped");
        const auto lines = sink.Messages();
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0].level, c.opened);
        EXPECT_EQ(lines[1].level, c.state);
        EXPECT_EQ(lines[2].level, 1);
    }
}

TEST_F(DebugMessageTest, UnreadableHostModuleCountsAsMissing) {
    ASSERT_TRUE(brevane::test::WriteFile(brevane::platform::kHostModuleFileName, {'M', 'Z', 0, 0}));
    OpenDriver();
    EXPECT_EQ(m_driver.HostVersion(), (ProductVersion{5, 12, 0, 0}));
}

TEST_F(DebugMessageTest, EmptyLinesArriveWithoutText) {
    OpenDriver();
    m_sink.Clear();
    m_driver.DebugMessage(1, "%s", "");
    const auto lines = m_sink.Messages();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].textWasNull);
    EXPECT_EQ(lines[0].level, 1);
}

TEST_F(DebugMessageTest, FinishedLinesAreNotFormattedAgain) {
    OpenDriver();
    m_sink.Clear();
    const std::string finished = "brevane::CBasePTZComm::Open: 100% done %s %n %d";
    DeliverFinishedLine(m_driver, 1, finished.c_str());
    const auto lines = m_sink.Messages();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, finished);
}

TEST_F(DebugMessageTest, LongLinesArriveWhole) {
    OpenDriver();
    m_sink.Clear();
    const std::string head(5000, 'a');
    const std::string tail(7000, 'b');
    m_driver.DebugMessage(1, "%s|%s|%d", head.c_str(), tail.c_str(), 42);
    const auto lines = m_sink.Messages();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, head + "|" + tail + "|42");
}

TEST_F(DebugMessageTest, ConcurrentReportersLoseNoLine) {
    OpenDriver();
    m_sink.Clear();
    constexpr int kThreads = 4;
    constexpr int kLines = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kLines; ++i) {
                m_driver.DebugMessage(i % 2 == 0 ? 1 : 3, "thread %d line %d", t, i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const auto lines = m_sink.Messages();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(m_sink.Matching("thread " + std::to_string(t) + " line ").size(),
                  static_cast<std::size_t>(kLines));
    }
}

}  // namespace
