// The reference host's checks catch what a faulty module would do with
// frames, its waits work across threads, and the loader names what is
// missing.
#include <gtest/gtest.h>

#if defined(__linux__)
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "kit/CameraOptions.h"
#include "kit/CapabilityQueryCallback.h"
#include "kit/FrameAllocator.h"
#include "kit/HostSystem.h"
#include "kit/ModuleLoader.h"

namespace {

namespace host = darvik::host;
using brevane::contract::kFormatJpeg;

host::Frame* Allocate(host::FrameAllocator& allocator, std::uint32_t size) {
    return static_cast<host::Frame*>(allocator.AllocateFrame(kFormatJpeg, size, "DarvikIPCapture"));
}

void PrepareInOrder(host::Frame& frame, std::uint32_t dataSize) {
    frame.SetWidth(352);
    frame.SetHeight(288);
    frame.SetSizeClass(3);
    frame.SetDataSize(dataSize);
    frame.SetFormat(kFormatJpeg);
    frame.PrepareBuffer();
    frame.GetBuffer();
}

TEST(FrameAllocatorTest, AcceptsTheContractSequenceAndRecyclesFrames) {
    host::FrameAllocator allocator;
    for (int i = 0; i < 500; ++i) {
        host::Frame* frame = Allocate(allocator, 1000);
        ASSERT_NE(frame, nullptr);
        PrepareInOrder(*frame, 1000);
        allocator.ReleaseFrame(frame);
    }
    EXPECT_EQ(allocator.Allocations(), 500u);
    EXPECT_EQ(allocator.Releases(), 500u);
    EXPECT_EQ(allocator.Outstanding(), 0u);
    EXPECT_EQ(allocator.ViolationCount(), 0u);
}

TEST(FrameAllocatorTest, ReportsEveryKindOfMisuse) {
    host::FrameAllocator allocator;

    host::Frame* swapped = Allocate(allocator, 100);
    swapped->SetHeight(288);  // before SetWidth
    swapped->SetWidth(352);
    EXPECT_EQ(allocator.ViolationCount(), 2u);

    host::Frame* tooSmall = Allocate(allocator, 100);
    tooSmall->SetWidth(1);
    tooSmall->SetHeight(1);
    tooSmall->SetSizeClass(2);
    tooSmall->SetDataSize(101);
    EXPECT_EQ(allocator.ViolationCount(), 3u);

    allocator.ReleaseFrame(tooSmall);
    allocator.ReleaseFrame(tooSmall);  // twice
    EXPECT_EQ(allocator.ViolationCount(), 4u);

    host::FrameAllocator other;
    allocator.ReleaseFrame(Allocate(other, 10));  // not ours
    EXPECT_EQ(allocator.ViolationCount(), 5u);

    // The module always names itself as the source.
    EXPECT_NE(allocator.AllocateFrame(kFormatJpeg, 10, "Other"), nullptr);
    EXPECT_EQ(allocator.ViolationCount(), 6u);
    EXPECT_NE(allocator.Violations()[5].find("source name"), std::string::npos);
}

TEST(FrameAllocatorTest, RefusesOnDemandAndBeyondTheSizeLimit) {
    host::FrameAllocator allocator;
    allocator.SetRefuseAllocations(true);
    EXPECT_EQ(Allocate(allocator, 10), nullptr);
    allocator.SetRefuseAllocations(false);
    allocator.SetMaxBufferSize(1024);
    EXPECT_EQ(Allocate(allocator, 1025), nullptr);
    EXPECT_NE(Allocate(allocator, 1024), nullptr);
    EXPECT_EQ(allocator.Refusals(), 2u);
    EXPECT_EQ(allocator.Outstanding(), 1u);
    EXPECT_EQ(allocator.ViolationCount(), 0u);
}

TEST(CapabilityQueryCallbackTest, WaiterWakesWhenTheOutcomeArrives) {
    host::CapabilityQueryCallback callback;
    EXPECT_EQ(callback.WaitForOutcome(std::chrono::milliseconds(10)), host::QueryOutcome::None);
    std::thread fetcher([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        callback.OnQuerySucceeded();
    });
    EXPECT_EQ(callback.WaitForOutcome(std::chrono::seconds(10)), host::QueryOutcome::Succeeded);
    fetcher.join();
}

TEST(ModuleLoaderTest, ExplainsWhatIsMissing) {
    host::ModuleLoader loader;
    EXPECT_FALSE(loader.Load("/nonexistent/DarvikIPCapture.so"));
    EXPECT_NE(loader.Error().find("cannot load module /nonexistent/DarvikIPCapture.so"), std::string::npos)
        << loader.Error();
    EXPECT_FALSE(loader.IsLoaded());

    // A library that loads but exports none of the functions.
#if defined(_WIN32)
    EXPECT_FALSE(loader.Load("version.dll"));
#else
    EXPECT_FALSE(loader.Load("libm.so.6"));
#endif
    EXPECT_NE(loader.Error().find("does not export: CreateIPCapture, CreateIPCaptureEx"), std::string::npos)
        << loader.Error();
    EXPECT_NE(loader.Error().find("UninitCapabilityQuery"), std::string::npos);
    EXPECT_FALSE(loader.IsLoaded());
    EXPECT_EQ(loader.Exports().CreateIPCapture, nullptr);
}

#if defined(__linux__)
// A pipe on standard output is widened as far as the system allows; a file
// there is left alone.
TEST(HostSystemTest, WidensAPipeOnStandardOutputOnly) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ASSERT_GE(saved, 0);
    ASSERT_GE(::dup2(pipeEnds[1], STDOUT_FILENO), 0);
    const int before = ::fcntl(STDOUT_FILENO, F_GETPIPE_SZ);
    host::WidenStandardOutputPipe();
    const int after = ::fcntl(STDOUT_FILENO, F_GETPIPE_SZ);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);

    int limit = 1 << 20;
    if (std::FILE* file = std::fopen("/proc/sys/fs/pipe-max-size", "r")) {
        if (std::fscanf(file, "%d", &limit) != 1) {
            limit = 1 << 20;
        }
        std::fclose(file);
    }
    EXPECT_EQ(after, std::max(before, std::min(limit, 1 << 20))) << "before " << before;

    // Not a pipe: nothing to widen, and nothing goes wrong.
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fflush(stdout);
    const int kept = ::dup(STDOUT_FILENO);
    ASSERT_GE(::dup2(::fileno(file), STDOUT_FILENO), 0);
    host::WidenStandardOutputPipe();
    EXPECT_EQ(::fcntl(STDOUT_FILENO, F_GETPIPE_SZ), -1);
    ::dup2(kept, STDOUT_FILENO);
    ::close(kept);
    std::fclose(file);
}
#endif

TEST(CameraOptionsTest, SplitsHostAndPort) {
    std::string host;
    std::uint16_t port = 0;
    std::string error;
    ASSERT_TRUE(darvik::host::SplitCameraAddress("cam.local", host, port, error));
    EXPECT_EQ(host, "cam.local");
    EXPECT_EQ(port, 80);
    ASSERT_TRUE(darvik::host::SplitCameraAddress("127.0.0.1:65535", host, port, error));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 65535);
    ASSERT_TRUE(darvik::host::SplitCameraAddress("[::1]:8080", host, port, error));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 8080);
    for (const char* bad : {"", ":80", "host:", "host:0", "host:65536", "host:99999999999", "host:8a",
                            "[::1", "[::1]x", "[]:80"}) {
        EXPECT_FALSE(darvik::host::SplitCameraAddress(bad, host, port, error)) << bad;
    }
}

}  // namespace
