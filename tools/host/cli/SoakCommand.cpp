// darvik-host soak: one host process running N channels, each against a
// simulated camera of its own that misbehaves on a schedule. Phases of equal
// length alternate: in a fault phase each channel's camera has one fault
// kind (a different one per channel, rotating from phase to phase); in the
// following phase every camera is healthy again. Every picture the host
// receives is checked (markers, header and a full decode for JPEG), so a
// damaged or cut picture is counted, not just a missing one.
//
// At the end it prints, per fault kind: pictures offered by the cameras and
// delivered whole, damaged pictures delivered, camera requests and log lines
// per minute and channel, and the time the channels took to deliver again
// once the fault was gone; then resident memory, descriptors and threads of
// the process after the first, middle and last healthy phase. The exit
// status is non-zero when a damaged picture arrived or a healthy phase
// delivered too little.
//
// The simulators run in this process (Linux only), so the resource figures
// include their listening sockets and connection threads.
#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>

#include "camsim/Simulator.h"
#include "cli/Cli.h"
#include "cli/HostDriver.h"
#include "darvik/Contract.h"
#include "kit/FrameReceiver.h"
#include "kit/StreamSettings.h"

namespace darvik::cli {
namespace {

using Clock = std::chrono::steady_clock;

struct SoakOptions {
    std::uint32_t channels = 64;
    double seconds = 600;
    double phase = 20;
    std::uint32_t fps = 5;
    std::string stream = "mjpeg";
};

enum class Fault { Healthy, Drop, Stall, Refuse, Unauthorized, Garbage, Split, Cut, Exif, Values, Count };

constexpr std::array<const char*, static_cast<std::size_t>(Fault::Count)> kFaultNames = {
    "healthy again", "drop after each picture", "stall", "refuse", "401", "garbage", "split markers",
    "cut pictures / wrong lengths", "EXIF, 12 MiB picture", "NUL values, 2 MiB replies"};

// The camera's configuration for a phase with the given fault.
camsim::Config CameraConfig(const SoakOptions& options, std::uint16_t port, Fault fault) {
    camsim::Config config;
    config.port = port;
    config.controlEnabled = false;
    config.jpegFramesPerSecond = options.fps;
    camsim::Faults& faults = config.faults;
    camsim::StreamFaults& stream = config.streamFaults;
    switch (fault) {
        case Fault::Healthy: break;
        case Fault::Drop: stream.closeAfterFrames = 1; break;
        case Fault::Stall: faults.stall = true; break;
        case Fault::Refuse: faults.refuseConnections = true; break;
        case Fault::Unauthorized: faults.pathStatus = {{"/", 401, ""}}; break;
        case Fault::Garbage:
            faults.garbage = true;
            stream.garbageBetweenFrames = true;
            break;
        case Fault::Split: stream.chunkSizes = {1, 2, 3, 4093, 7, 1}; break;
        case Fault::Cut:
            stream.closeAfterBytes = 20000;
            stream.wrongLengthEvery = 3;
            break;
        case Fault::Exif:
            stream.exifThumbnails = true;
            stream.unendedFrameBytes = 12u << 20;  // dropped at the picture cap
            break;
        case Fault::Values:
            for (const char* name : {"m_mode", "m_resl", "m_fram", "m_qual", "n_madr"}) {
                faults.values[name] = std::string("1\0" "2", 3);
            }
            faults.padRepliesTo = 2u << 20;
            break;
        case Fault::Count: break;
    }
    return config;
}

// Checks each picture a channel delivers.
class PictureCheck {
   public:
    PictureCheck(bool jpeg, std::uint32_t width, std::uint32_t height)
        : m_jpeg(jpeg), m_width(width), m_height(height), m_decoder(jpeg ? tjInitDecompress() : nullptr) {}
    ~PictureCheck() {
        if (m_decoder != nullptr) {
            tjDestroy(m_decoder);
        }
    }
    PictureCheck(const PictureCheck&) = delete;
    PictureCheck& operator=(const PictureCheck&) = delete;

    // Called on the channel's worker only.
    void Check(std::span<const std::uint8_t> data) {
        (Whole(data) ? m_whole : m_damaged).fetch_add(1);
        Clock::rep none = 0;
        m_firstSinceMark.compare_exchange_strong(none, Clock::now().time_since_epoch().count());
    }
    // Starts looking for the next first picture.
    void Mark() { m_firstSinceMark.store(0); }
    std::uint64_t WholeCount() const { return m_whole.load(); }
    std::uint64_t DamagedCount() const { return m_damaged.load(); }
    // When the first picture since Mark arrived; 0 when none did.
    Clock::rep FirstSinceMark() const { return m_firstSinceMark.load(); }

   private:
    bool Whole(std::span<const std::uint8_t> data) {
        if (!m_jpeg) {
            // An MPEG-4 record begins with a start code.
            return data.size() > 4 && data[0] == 0 && data[1] == 0 && data[2] == 1;
        }
        const std::size_t n = data.size();
        if (n < 4 || data[0] != 0xFF || data[1] != 0xD8 || data[n - 2] != 0xFF || data[n - 1] != 0xD9) {
            return false;
        }
        int width = 0;
        int height = 0;
        int subsampling = 0;
        int colorspace = 0;
        auto* bytes = const_cast<unsigned char*>(data.data());
        if (tjDecompressHeader3(m_decoder, bytes, static_cast<unsigned long>(n), &width, &height, &subsampling,
                                &colorspace) != 0 ||
            static_cast<std::uint32_t>(width) != m_width || static_cast<std::uint32_t>(height) != m_height) {
            return false;
        }
        m_pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        return tjDecompress2(m_decoder, bytes, static_cast<unsigned long>(n), m_pixels.data(), width, 0, height,
                             TJPF_GRAY, TJFLAG_STOPONWARNING) == 0;
    }

    const bool m_jpeg;
    const std::uint32_t m_width;
    const std::uint32_t m_height;
    tjhandle m_decoder;
    std::vector<unsigned char> m_pixels;
    std::atomic<std::uint64_t> m_whole{0};
    std::atomic<std::uint64_t> m_damaged{0};
    std::atomic<Clock::rep> m_firstSinceMark{0};
};

struct Channel {
    std::uint16_t port = 0;  // the camera's, kept over its restarts
    std::unique_ptr<camsim::Simulator> camera;
    std::unique_ptr<host::FrameReceiver> receiver;
    std::unique_ptr<PictureCheck> check;
    std::unique_ptr<HostDriver> host;
    Fault fault = Fault::Healthy;
    // At the start of the current phase:
    std::uint64_t whole = 0, damaged = 0, lines = 0;
};

struct KindTotals {
    std::uint64_t channelPhases = 0, offered = 0, whole = 0, damaged = 0, requests = 0, lines = 0;
    double channelMinutes = 0;
    // Recovery of the channels that had this fault in the phase before.
    std::uint64_t recovered = 0, unrecovered = 0;
    double recoverSum = 0, recoverMax = 0;
};

struct Resources {
    std::uint64_t rssKiB = 0, descriptors = 0, threads = 0;
};

Resources ReadResources() {
    Resources r;
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> r.rssKiB;
        } else if (key == "Threads:") {
            status >> r.threads;
        }
    }
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ++r.descriptors;
    }
    return r;
}

bool StartChannel(const CliContext& context, const SoakOptions& options, std::uint32_t index, Channel& channel) {
    const bool jpeg = options.stream == "mjpeg";
    channel.camera = std::make_unique<camsim::Simulator>(CameraConfig(options, 0, Fault::Healthy));
    std::string error;
    if (!channel.camera->Start(&error)) {
        std::cerr << "darvik-host soak: simulator " << index << " did not start: " << error << "\n";
        return false;
    }
    channel.port = channel.camera->Port();
    channel.receiver = std::make_unique<host::FrameReceiver>();
    channel.check = std::make_unique<PictureCheck>(jpeg, 352, 288);
    channel.receiver->SetDataCallback(
        [check = channel.check.get()](const host::FrameRecord&, std::span<const std::uint8_t> data) {
            check->Check(data);
        });
    channel.host = std::make_unique<HostDriver>("darvik-host soak");
    CameraOptions camera;
    camera.host = "127.0.0.1";
    camera.port = channel.camera->Port();
    if (channel.host->Start(context, camera) != kExitOk) {
        return false;
    }
    host::OpenParameters& parameters = channel.host->Parameters();
    parameters.connection.streamType = jpeg ? 1 : 2;
    parameters.device.channelCount = 1;
    parameters.SetCustomParameter(1, "0");  // PAL
    if (!channel.host->Open()) {
        std::cerr << "darvik-host soak: Open failed for channel " << index << "\n";
        return false;
    }
    brevane::ipcapture::IIPVideoCapture* video = channel.host->Driver().GetVideoCapture();
    host::StreamSettings settings(352, 288, static_cast<std::uint16_t>(1000 / options.fps), 75);
    return video != nullptr && video->StartChannel(0, channel.receiver.get(), &settings);
}

// Restarts the channel's camera on its port with the phase's fault, so the
// fault meets the channel's open stream at once, not only its next request.
bool BeginPhase(const SoakOptions& options, Channel& channel, Fault fault) {
    channel.fault = fault;
    channel.camera->Stop();
    channel.camera = std::make_unique<camsim::Simulator>(CameraConfig(options, channel.port, fault));
    std::string error;
    if (!channel.camera->Start(&error)) {
        std::cerr << "darvik-host soak: the camera on port " << channel.port << " did not restart: " << error << "\n";
        return false;
    }
    channel.check->Mark();
    channel.whole = channel.check->WholeCount();
    channel.damaged = channel.check->DamagedCount();
    channel.lines = channel.host->Messages().Count();
    return true;
}

void EndPhase(const Channel& channel, double minutes, KindTotals& totals) {
    ++totals.channelPhases;
    totals.channelMinutes += minutes;
    totals.offered += channel.camera->StreamFramesProduced();
    totals.whole += channel.check->WholeCount() - channel.whole;
    totals.damaged += channel.check->DamagedCount() - channel.damaged;
    totals.lines += channel.host->Messages().Count() - channel.lines;
    totals.requests += channel.camera->RequestLog().size() + channel.camera->RefusedConnections();
}

// Seconds from `since` to the first picture after it, or a negative value
// when none came.
double RecoverySeconds(const Channel& channel, Clock::time_point since) {
    const Clock::rep first = channel.check->FirstSinceMark();
    return first == 0 ? -1 : std::chrono::duration<double>(Clock::time_point(Clock::duration(first)) - since).count();
}

void PrintReport(const std::vector<KindTotals>& totals, const std::vector<Resources>& healthy,
                 std::uint32_t channels) {
    std::printf("%-30s %7s %9s %9s %8s %10s %10s %12s\n", "fault", "phases", "offered", "whole", "damaged",
                "req/min", "lines/min", "recover s");
    for (std::size_t kind = 0; kind < totals.size(); ++kind) {
        const KindTotals& t = totals[kind];
        if (t.channelPhases == 0) {
            continue;
        }
        const double minutes = std::max(t.channelMinutes, 1e-9);
        char recover[48] = "-";
        if (t.recovered + t.unrecovered > 0) {
            std::snprintf(recover, sizeof recover, "%.1f/%.1f%s", t.recovered ? t.recoverSum / t.recovered : 0.0,
                          t.recoverMax, t.unrecovered ? "+" : "");
        }
        std::printf("%-30s %7llu %9llu %9llu %8llu %10.1f %10.2f %12s\n", kFaultNames[kind],
                    static_cast<unsigned long long>(t.channelPhases), static_cast<unsigned long long>(t.offered),
                    static_cast<unsigned long long>(t.whole), static_cast<unsigned long long>(t.damaged),
                    static_cast<double>(t.requests) / minutes, static_cast<double>(t.lines) / minutes, recover);
    }
    std::printf("(per channel; recover: mean/max seconds to the first picture once the fault was gone, "
                "+ when a channel had none in its healthy phase)\n");
    if (healthy.empty()) {
        return;
    }
    // Measured at the end of each healthy phase, when every camera streams.
    const auto print = [channels](const char* when, const Resources& r) {
        std::printf("process with %u channels, %s: %llu KiB resident, %llu descriptors, %llu threads\n", channels,
                    when, static_cast<unsigned long long>(r.rssKiB), static_cast<unsigned long long>(r.descriptors),
                    static_cast<unsigned long long>(r.threads));
    };
    print("after the first healthy phase", healthy.front());
    print("after the middle healthy phase", healthy[healthy.size() / 2]);
    print("after the last healthy phase", healthy.back());
}

// Runs the phases; fills totals. Recovery is measured in each healthy phase
// for the fault the channel had just before.
bool RunPhases(std::vector<Channel>& channels, const SoakOptions& options, std::vector<KindTotals>& totals,
               std::vector<Resources>& healthyResources) {
    const auto phaseLength = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.phase));
    // An odd count, so the run ends with every camera healthy.
    const auto phases = static_cast<std::uint32_t>(std::max(1.0, options.seconds / options.phase)) | 1u;
    constexpr std::uint32_t kFaultKinds = static_cast<std::uint32_t>(Fault::Count) - 1;
    std::vector<Fault> before(channels.size(), Fault::Healthy);
    for (std::uint32_t phase = 0; phase < phases; ++phase) {
        const bool healthy = phase % 2 == 0;
        const Clock::time_point begin = Clock::now();
        for (std::size_t i = 0; i < channels.size(); ++i) {
            const auto kind = healthy ? Fault::Healthy
                                      : static_cast<Fault>(1 + (i + phase / 2) % kFaultKinds);
            if (!BeginPhase(options, channels[i], kind)) {
                return false;
            }
        }
        std::this_thread::sleep_until(begin + phaseLength);
        if (healthy) {
            healthyResources.push_back(ReadResources());
        }
        const double minutes = std::chrono::duration<double>(Clock::now() - begin).count() / 60.0;
        for (std::size_t i = 0; i < channels.size(); ++i) {
            Channel& channel = channels[i];
            EndPhase(channel, minutes, totals[static_cast<std::size_t>(channel.fault)]);
            if (healthy && before[i] != Fault::Healthy) {
                KindTotals& after = totals[static_cast<std::size_t>(before[i])];
                const double seconds = RecoverySeconds(channel, begin);
                if (seconds < 0 || channel.check->WholeCount() == channel.whole) {
                    ++after.unrecovered;
                } else {
                    ++after.recovered;
                    after.recoverSum += seconds;
                    after.recoverMax = std::max(after.recoverMax, seconds);
                }
            }
            before[i] = channel.fault;
        }
        std::fprintf(stderr, "phase %u of %u done (%s)\n", phase + 1, phases, healthy ? "healthy" : "faults");
    }
    return true;
}

int RunSoak(const CliContext& context, const SoakOptions& options) {
    std::vector<Channel> channels(options.channels);
    for (std::uint32_t i = 0; i < options.channels; ++i) {
        if (!StartChannel(context, options, i, channels[i])) {
            return kExitFailed;
        }
    }
    std::vector<KindTotals> totals(static_cast<std::size_t>(Fault::Count));
    std::vector<Resources> healthyResources;
    const bool ran = RunPhases(channels, options, totals, healthyResources);
    for (Channel& channel : channels) {
        channel.host->Release();
        channel.camera->Stop();
    }
    PrintReport(totals, healthyResources, options.channels);

    std::uint64_t damaged = 0;
    for (const KindTotals& t : totals) {
        damaged += t.damaged;
    }
    const KindTotals& healthy = totals[static_cast<std::size_t>(Fault::Healthy)];
    // A healthy phase starts with the reconnect after the fault before it, so
    // somewhat fewer pictures arrive than the cameras made.
    const bool delivered = healthy.whole * 10 >= healthy.offered * 8;
    if (!ran || damaged != 0 || !delivered) {
        std::cerr << "darvik-host soak: " << damaged << " damaged pictures delivered; healthy phases delivered "
                  << healthy.whole << " of " << healthy.offered << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

void RegisterSoakCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<SoakOptions>();
    CLI::App* command = app.add_subcommand(
        "soak", "Run many channels against simulated cameras that misbehave on a schedule and report per fault");
    command->add_option("--channels", options->channels, "Channels, each with a camera of its own")
        ->check(CLI::Range(1, 1024))
        ->capture_default_str();
    command->add_option("--seconds", options->seconds, "Duration")->capture_default_str();
    command->add_option("--phase", options->phase, "Seconds per phase (fault phases alternate with healthy ones)")
        ->check(CLI::Range(1.0, 3600.0))
        ->capture_default_str();
    command->add_option("--fps", options->fps, "Pictures per second of each camera")
        ->check(CLI::Range(1, 25))
        ->capture_default_str();
    command->add_option("--stream", options->stream, "mjpeg or mpeg")
        ->check(CLI::IsMember({"mjpeg", "mpeg"}))
        ->capture_default_str();
    command->callback([&context, options] { context.exitCode = RunSoak(context, *options); });
}

}  // namespace darvik::cli
