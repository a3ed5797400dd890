// darvik-lean-host: the least a host does with the module, for measuring the
// module's own cost against other stream readers. It loads
// DarvikIPCapture.so, opens drivers against one camera (scripts/bench-peers
// runs darvik-camsim in replay mode for it), counts every frame delivered
// and releases it at once.
//
//   darvik-lean-host --port P --frames F
//     one driver, one MJPEG channel at 704x576, until F pictures arrived;
//     prints the pictures and the CPU seconds of this process from the
//     first picture to the F-th, and over the whole run.
//   darvik-lean-host --port P --density --channels C [--stream mpeg] --seconds S
//     C drivers with one channel each (a recorder with C cameras) at 25 fps;
//     once every channel delivered, measures S seconds: pictures
//     delivered and offered (counted by the camera when --control-port is
//     given), CPU per picture and resident memory per channel, and with
//     --camera-pid the camera process's CPU over the same seconds.
//   --width W --height H: the picture size asked for (default 704x576).
//
// Single-threaded apart from the module's own threads; the counters are
// atomics written by the channels' worker threads.
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "darvik/Contract.h"
#include "kit/FrameAllocator.h"
#include "kit/HostSystem.h"
#include "kit/MessageSink.h"
#include "kit/ModuleLoader.h"
#include "kit/OpenParameters.h"
#include "kit/StreamSettings.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace ipc = brevane::ipcapture;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU seconds (user + system) of another process so far; -1 when unknown.
double ProcessCpuSeconds(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (pid <= 0 || !std::getline(stat, text)) {
        return -1;
    }
    // Fields after the command name (which may hold blanks): utime and
    // stime are the 12th and 13th of them.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i) {
        if (i >= 12) {
            ticks += std::atof(field.c_str());
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Resident memory of this process in KiB.
long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return 0;
}

// Counts frames and takes each one; the module releases it right after.
// The CPU time is taken at the first frame and at the target count.
class CountingReceiver final : public ipc::IFrameReceiver {
    DARVIK_IMPLEMENT_SLOT0(CountingReceiver)

   public:
    explicit CountingReceiver(std::uint64_t target = 0) : m_target(target) {}
    bool DeliverFrame(ipc::IFrame*) override {
        const std::uint64_t count = ++m_frames;
        if (count == 1) {
            m_firstCpu = CpuSeconds();
        }
        if (count == m_target) {
            m_lastCpu = CpuSeconds();
            m_done = true;
        }
        return true;
    }
    void OnSignalLost() override { ++m_signalLost; }

    std::uint64_t Frames() const { return m_frames; }
    std::uint64_t SignalLost() const { return m_signalLost; }
    bool Done() const { return m_done; }
    double FirstToTargetCpu() const { return m_lastCpu - m_firstCpu; }

   private:
    const std::uint64_t m_target;
    std::atomic<std::uint64_t> m_frames{0};
    std::atomic<std::uint64_t> m_signalLost{0};
    std::atomic<bool> m_done{false};
    double m_firstCpu = 0;  // written by the channel thread before m_done
    double m_lastCpu = 0;
};

struct Options {
    std::uint16_t port = 0;
    std::uint16_t controlPort = 0;
    long cameraPid = 0;
    std::uint64_t frames = 20000;
    bool density = false;
    std::uint32_t channels = 64;
    bool mpeg = false;
    double seconds = 20;
    double timeout = 120;
    std::uint32_t width = 704;
    std::uint32_t height = 576;
};

// One driver of the loaded module with one channel.
struct Camera {
    darvik::host::MessageSink messages;
    darvik::host::FrameAllocator frames;
    darvik::host::OpenParameters parameters;
    std::unique_ptr<CountingReceiver> receiver;
    ipc::IIPCaptureDriverEx* driver = nullptr;
};

bool StartCamera(darvik::host::ModuleLoader& loader, const Options& options, Camera& camera, std::uint64_t target) {
    camera.parameters.connection.address = "127.0.0.1";
    camera.parameters.connection.port = options.port;
    camera.parameters.connection.streamType = options.mpeg ? 2 : 1;
    camera.parameters.device.channelCount = 1;
    camera.parameters.SetCustomParameter(1, "0");
    camera.receiver = std::make_unique<CountingReceiver>(target);
    camera.driver = loader.Exports().CreateIPCaptureEx();
    if (camera.driver == nullptr || !camera.driver->Open(&camera.messages, &camera.frames, &camera.parameters)) {
        return false;
    }
    darvik::host::StreamSettings settings(static_cast<std::uint16_t>(options.width),
                                          static_cast<std::uint16_t>(options.height), 40, 75);
    return camera.driver->GetVideoCapture()->StartChannel(0, camera.receiver.get(), &settings);
}

void StopCamera(darvik::host::ModuleLoader& loader, Camera& camera) {
    if (camera.driver != nullptr) {
        camera.driver->GetVideoCapture()->StopChannel(0);
        camera.driver->Close();
        loader.Exports().DeleteIPCaptureEx(camera.driver);
        camera.driver = nullptr;
    }
}

// Pictures the camera has sent so far, or -1 without its control interface.
long long CameraFrames(const Options& options) {
    std::string body;
    if (options.controlPort == 0 ||
        !darvik::host::HttpGet("127.0.0.1", options.controlPort, "/control/streams", "", "", &body)) {
        return -1;
    }
    const std::size_t at = body.find("\"frames\":");
    return at == std::string::npos ? -1 : std::atoll(body.c_str() + at + 9);
}

int RunSingle(darvik::host::ModuleLoader& loader, const Options& options) {
    Camera camera;
    const double startCpu = CpuSeconds();
    if (!StartCamera(loader, options, camera, options.frames)) {
        std::fprintf(stderr, "darvik-lean-host: the channel did not start\n");
        return 1;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                          std::chrono::duration<double>(options.timeout));
    while (!camera.receiver->Done() && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double wholeCpu = CpuSeconds() - startCpu;
    const bool done = camera.receiver->Done();
    const std::uint64_t pictures = camera.receiver->Frames();
    StopCamera(loader, camera);
    // pictures: delivered by the time the count was reached; cpu_first_last:
    // from the first picture to the F-th; cpu_process: from before Open to
    // the F-th (with the driver's start-up).
    std::printf("pictures %llu cpu_first_last %.3f cpu_process %.3f signal_lost %llu\n",
                static_cast<unsigned long long>(done ? options.frames : pictures),
                done ? camera.receiver->FirstToTargetCpu() : 0.0, wholeCpu,
                static_cast<unsigned long long>(camera.receiver->SignalLost()));
    return done ? 0 : 1;
}

int RunDensity(darvik::host::ModuleLoader& loader, const Options& options) {
    const long idleKiB = ResidentKiB();
    std::vector<Camera> cameras(options.channels);
    for (Camera& camera : cameras) {
        if (!StartCamera(loader, options, camera, 0)) {
            std::fprintf(stderr, "darvik-lean-host: a channel did not start\n");
            return 1;
        }
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
    auto online = [&] {
        std::uint32_t count = 0;
        for (const Camera& camera : cameras) {
            count += camera.receiver->Frames() > 0 ? 1 : 0;
        }
        return count;
    };
    while (online() < options.channels && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    auto delivered = [&] {
        std::uint64_t sum = 0;
        for (const Camera& camera : cameras) {
            sum += camera.receiver->Frames();
        }
        return sum;
    };
    const std::uint32_t started = online();
    const std::uint64_t framesBefore = delivered();
    const long long offeredBefore = CameraFrames(options);
    const double cpuBefore = CpuSeconds();
    const double cameraCpuBefore = ProcessCpuSeconds(options.cameraPid);
    const Clock::time_point wallBefore = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(options.seconds));
    const std::uint64_t pictures = delivered() - framesBefore;
    const long long offeredAfter = CameraFrames(options);
    const double cpu = CpuSeconds() - cpuBefore;
    const double cameraCpu = ProcessCpuSeconds(options.cameraPid) - cameraCpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    const long residentKiB = ResidentKiB();
    const bool counted = offeredBefore >= 0 && offeredAfter >= offeredBefore;
    const double offered = counted ? static_cast<double>(offeredAfter - offeredBefore)
                                   : static_cast<double>(options.channels) * 25.0 * wall;
    for (Camera& camera : cameras) {
        StopCamera(loader, camera);
    }
    // offered_by: "camera" when the simulator counted the pictures it sent,
    // "rate" for channels x 25 x seconds; cpu_share: cores busy.
    std::printf("channels %u online %u seconds %.1f delivered %llu offered %.0f offered_by %s share %.3f "
                "cpu_ms_per_picture %.3f cpu_share %.2f rss_kib_per_channel %.0f camera_cpu_share %.2f\n",
                options.channels, started, wall, static_cast<unsigned long long>(pictures), offered,
                counted ? "camera" : "rate", offered > 0 ? static_cast<double>(pictures) / offered : 0.0,
                pictures > 0 ? cpu / static_cast<double>(pictures) * 1000.0 : 0.0, cpu / wall,
                static_cast<double>(residentKiB - idleKiB) / options.channels,
                options.cameraPid > 0 && cameraCpuBefore >= 0 ? cameraCpu / wall : -1.0);
    return started == options.channels ? 0 : 1;
}

bool ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--density") {
            options.density = true;
        } else if (value == nullptr) {
            return false;
        } else if (arg == "--port") {
            options.port = static_cast<std::uint16_t>(std::atoi(argv[++i]));
        } else if (arg == "--camera-pid") {
            options.cameraPid = std::atol(argv[++i]);
        } else if (arg == "--control-port") {
            options.controlPort = static_cast<std::uint16_t>(std::atoi(argv[++i]));
        } else if (arg == "--frames") {
            options.frames = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--channels") {
            options.channels = static_cast<std::uint32_t>(std::atoi(argv[++i]));
        } else if (arg == "--stream") {
            options.mpeg = std::strcmp(argv[++i], "mpeg") == 0;
        } else if (arg == "--seconds") {
            options.seconds = std::atof(argv[++i]);
        } else if (arg == "--width" && value != nullptr) {
            options.width = static_cast<std::uint32_t>(std::atoi(argv[++i]));
        } else if (arg == "--height" && value != nullptr) {
            options.height = static_cast<std::uint32_t>(std::atoi(argv[++i]));
        } else if (arg == "--timeout") {
            options.timeout = std::atof(argv[++i]);
        } else {
            return false;
        }
    }
    return options.port != 0 && options.frames > 0 && options.channels > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseArguments(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: darvik-lean-host --port P [--frames F] | --port P --density [--channels C] "
                     "[--stream mjpeg|mpeg] [--seconds S] [--control-port Q] [--camera-pid PID] [--width W --height H]\n");
        return 2;
    }
    darvik::host::ModuleLoader loader;
    if (!loader.Load(darvik::host::ExecutableDirectory() + "DarvikIPCapture.so")) {
        std::fprintf(stderr, "darvik-lean-host: %s\n", loader.Error().c_str());
        return 1;
    }
    return options.density ? RunDensity(loader, options) : RunSingle(loader, options);
}
