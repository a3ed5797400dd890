// End to end: 1, 16 and 64 concurrent MJPEG channels of one driver, read
// from the camera simulator through the module as a host loads it. The
// simulator runs as a separate process (darvik-camsim), so the CPU time
// measured here is the module's and the reference host's alone.
//
// Reported per channel count: frames per second delivered to the host, CPU
// seconds of this process per 1000 frames, and the delivered share of the
// frames the camera offered (channels x camera frame rate).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "kit/FrameAllocator.h"
#include "kit/FrameReceiver.h"
#include "kit/MessageSink.h"
#include "kit/ModuleLoader.h"
#include "kit/OpenParameters.h"
#include "kit/StreamSettings.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kCameraFps = 10;
constexpr double kMeasureSeconds = 3.0;

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// darvik-camsim as a child process on an ephemeral loopback port.
class CameraProcess {
   public:
    CameraProcess() {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        const std::string fps = std::to_string(kCameraFps);
        std::vector<std::string> args = {DARVIK_CAMSIM_PATH, "--port", "0", "--no-control", "--fps", fps};
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&m_pid, DARVIK_CAMSIM_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        if (spawned != 0) {
            close(pipeFds[0]);
            throw std::runtime_error("cannot start darvik-camsim");
        }
        // "Camera:  http://127.0.0.1:PORT"
        std::FILE* out = fdopen(pipeFds[0], "r");
        char line[256];
        while (out != nullptr && std::fgets(line, sizeof line, out) != nullptr) {
            unsigned port = 0;
            if (std::sscanf(line, "Camera: http://127.0.0.1:%u", &port) == 1) {
                m_port = static_cast<std::uint16_t>(port);
                break;
            }
        }
        m_out = out;
        if (m_port == 0) {
            throw std::runtime_error("darvik-camsim reported no port");
        }
    }
    ~CameraProcess() {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        if (m_out != nullptr) {
            std::fclose(m_out);
        }
    }
    std::uint16_t Port() const { return m_port; }

   private:
    pid_t m_pid = 0;
    std::uint16_t m_port = 0;
    std::FILE* m_out = nullptr;
};

std::string ModulePath() {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, length > 0 ? static_cast<std::size_t>(length) : 0);
    return path.substr(0, path.rfind('/') + 1) + "DarvikIPCapture.so";
}

// Starts channels 0 ... count - 1 at 352 x 288 and waits until every one is
// online.
std::vector<std::unique_ptr<darvik::host::FrameReceiver>> StartChannels(
    brevane::ipcapture::IIPCaptureDriverEx& driver, std::uint32_t count) {
    std::vector<std::unique_ptr<darvik::host::FrameReceiver>> receivers;
    darvik::host::StreamSettings settings;
    settings.format.resolution = darvik::host::Resolution(352, 288);
    settings.encoding.frameIntervalMs = 1000 / kCameraFps;
    for (std::uint32_t i = 0; i < count; ++i) {
        receivers.push_back(std::make_unique<darvik::host::FrameReceiver>());
        driver.GetVideoCapture()->StartChannel(i, receivers.back().get(), &settings);
    }
    for (auto& receiver : receivers) {
        receiver->WaitForFrames(1, std::chrono::seconds(20));
    }
    return receivers;
}

void MjpegChannels(benchmark::State& state) {
    const auto channels = static_cast<std::uint32_t>(state.range(0));
    CameraProcess camera;
    darvik::host::ModuleLoader loader;
    if (!loader.Load(ModulePath())) {
        state.SkipWithError(loader.Error().c_str());
        return;
    }
    darvik::host::MessageSink messages;
    darvik::host::FrameAllocator frames;
    darvik::host::OpenParameters parameters;
    parameters.connection.address = "127.0.0.1";
    parameters.connection.port = camera.Port();
    parameters.connection.streamType = 1;
    parameters.device.channelCount = channels;
    parameters.SetCustomParameter(1, "0");
    auto* driver = loader.Exports().CreateIPCaptureEx();
    if (driver == nullptr || !driver->Open(&messages, &frames, &parameters)) {
        state.SkipWithError("the driver did not open");
        return;
    }
    const auto receivers = StartChannels(*driver, channels);
    auto total = [&] {
        std::uint64_t sum = 0;
        for (auto& receiver : receivers) {
            sum += receiver->Accepted();
        }
        return sum;
    };

    double frameCount = 0;
    double cpuSeconds = 0;
    double wallSeconds = 0;
    for (auto _ : state) {
        const std::uint64_t framesBefore = total();
        const double cpuBefore = ProcessCpuSeconds();
        const Clock::time_point wallBefore = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(kMeasureSeconds));
        frameCount += static_cast<double>(total() - framesBefore);
        cpuSeconds += ProcessCpuSeconds() - cpuBefore;
        wallSeconds += std::chrono::duration<double>(Clock::now() - wallBefore).count();
    }
    loader.Exports().DeleteIPCaptureEx(driver);

    const double fps = frameCount / wallSeconds;
    state.counters["fps"] = fps;
    state.counters["cpu_s_per_1000_frames"] = frameCount > 0 ? cpuSeconds / frameCount * 1000.0 : 0;
    state.counters["delivered_of_offered"] = fps / (channels * static_cast<double>(kCameraFps));
    state.counters["violations"] = static_cast<double>(frames.ViolationCount());
}

BENCHMARK(MjpegChannels)->Arg(1)->Arg(16)->Arg(64)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
