// darvik-host soak: one host process running N channels, each against a
// simulated camera of its own that misbehaves on a schedule. Phases of equal
// length alternate: in a fault phase each channel's camera has one fault
// kind (a different one per channel, rotating from phase to phase); in the
// following phase every camera is healthy again. Every picture the host
// receives is checked (SoakPictureCheck.h), so a damaged or cut picture is
// counted, not just a missing one.
//
// At the end it prints, per fault kind: pictures offered by the cameras and
// delivered whole, damaged pictures delivered, camera requests and log lines
// per minute and channel, and the time the channels took to deliver again
// once the fault was gone; then resident memory, descriptors (handles on
// Windows) and threads of the process after the first, middle and last
// healthy phase. The exit status is non-zero when a damaged picture arrived
// or the healthy phases delivered too little; with --strict also when a
// healthy phase left a channel without a picture, or when descriptors or
// threads grew from the first healthy phase to the last.
//
// On Linux the simulators run in this process, so the resource figures
// include their listening sockets and connection threads. On Windows they
// run in a simulator farm on the Linux side (darvik-camsim --farm, named by
// DARVIK_CAMSIM_FARM; scripts/soak starts it), and the figures are the
// host's own handles and threads.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>

#include "camsim/Simulator.h"
#include "cli/Cli.h"
#include "cli/SoakPictureCheck.h"
#include "darvik/Contract.h"
#include "kit/FrameReceiver.h"
#include "kit/HostDriver.h"
#include "kit/StreamSettings.h"
#include "platform/ProcessCounts.h"

namespace darvik::cli {
namespace {

using Clock = std::chrono::steady_clock;

struct SoakOptions {
    std::uint32_t channels = 64;
    double seconds = 600;
    double phase = 20;
    double healthyPhase = 0;  // seconds of a healthy phase; 0: as long as a fault phase
    std::uint32_t fps = 5;
    std::string stream = "mjpeg";  // or "mpeg", or "mixed": MJPEG on even channels, MPEG-4 on odd ones
    std::vector<std::string> faults;  // the fault kinds to run, by short name; empty: all
    // Also fail on a channel without pictures in a healthy phase, and on
    // growth of handles or threads.
    bool strict = false;
};

enum class Fault { Healthy, Drop, Stall, Refuse, Unauthorized, Garbage, Split, Cut, Exif, Values, Count };

// Short names for --faults, in the order of Fault.
constexpr std::array<const char*, static_cast<std::size_t>(Fault::Count)> kFaultKeys = {
    "healthy", "drop", "stall", "refuse", "401", "garbage", "split", "cut", "exif", "values"};

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

struct Channel {
    std::uint16_t port = 0;  // the camera's, kept over its restarts
    std::unique_ptr<camsim::Simulator> camera;
    std::unique_ptr<host::FrameReceiver> receiver;
    std::unique_ptr<PictureCheck> check;
    std::unique_ptr<host::HostDriver> host;
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

using Resources = brevane::platform::ProcessCounts;

// The fewest of a few readings: a channel reconnecting at that moment holds
// a connection and a thread of the HTTP stack for a moment only.
Resources ReadResources() {
    Resources fewest = brevane::platform::ReadProcessCounts();
    for (int reading = 0; reading < 4; ++reading) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const Resources next = brevane::platform::ReadProcessCounts();
        fewest.handles = std::min(fewest.handles, next.handles);
        fewest.threads = std::min(fewest.threads, next.threads);
        fewest.residentKiB = std::min(fewest.residentKiB, next.residentKiB);
    }
    return fewest;
}

bool StartChannel(const CliContext& context, const SoakOptions& options, std::uint32_t index, Channel& channel) {
    const bool jpeg = options.stream == "mjpeg" || (options.stream == "mixed" && index % 2 == 0);
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
    channel.host = std::make_unique<host::HostDriver>();
    host::CameraOptions camera;
    camera.host = "127.0.0.1";
    camera.port = channel.camera->Port();
    if (StartDriver("darvik-host soak", context, camera, *channel.host) != kExitOk) {
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
        std::printf("process with %u channels, %s: %llu KiB resident, %llu %s, %llu threads\n", channels, when,
                    static_cast<unsigned long long>(r.residentKiB), static_cast<unsigned long long>(r.handles),
                    brevane::platform::HandlesName(), static_cast<unsigned long long>(r.threads));
    };
    print("after the first healthy phase", healthy.front());
    print("after the middle healthy phase", healthy[healthy.size() / 2]);
    print("after the last healthy phase", healthy.back());
}

// The fault kinds named by --faults (all when none is named); empty when a
// name is unknown.
std::vector<Fault> FaultKinds(const SoakOptions& options) {
    std::vector<Fault> kinds;
    for (std::size_t kind = 1; kind < kFaultKeys.size(); ++kind) {
        if (options.faults.empty() ||
            std::find(options.faults.begin(), options.faults.end(), kFaultKeys[kind]) != options.faults.end()) {
            kinds.push_back(static_cast<Fault>(kind));
        }
    }
    for (const std::string& name : options.faults) {
        if (std::find(kFaultKeys.begin() + 1, kFaultKeys.end(), name) == kFaultKeys.end()) {
            std::cerr << "darvik-host soak: no fault kind \"" << name << "\"\n";
            return {};
        }
    }
    return kinds;
}

// Runs the phases; fills totals and counts the channels that delivered
// nothing in a healthy phase. Recovery is measured in each healthy phase for
// the fault the channel had just before.
bool RunPhases(std::vector<Channel>& channels, const SoakOptions& options, const std::vector<Fault>& kinds,
               std::vector<KindTotals>& totals, std::vector<Resources>& healthyResources, std::uint64_t& silent) {
    const double healthySeconds = options.healthyPhase > 0 ? options.healthyPhase : options.phase;
    const auto length = [](double seconds) {
        return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    };
    // An odd count, so the run ends with every camera healthy.
    const double meanPhase = (options.phase + healthySeconds) / 2;
    const auto phases = static_cast<std::uint32_t>(std::max(1.0, options.seconds / meanPhase)) | 1u;
    std::vector<Fault> before(channels.size(), Fault::Healthy);
    for (std::uint32_t phase = 0; phase < phases; ++phase) {
        const bool healthy = phase % 2 == 0;
        const Clock::time_point begin = Clock::now();
        for (std::size_t i = 0; i < channels.size(); ++i) {
            const Fault kind = healthy ? Fault::Healthy : kinds[(i + phase / 2) % kinds.size()];
            if (!BeginPhase(options, channels[i], kind)) {
                return false;
            }
        }
        std::this_thread::sleep_until(begin + length(healthy ? healthySeconds : options.phase));
        if (healthy) {
            healthyResources.push_back(ReadResources());
        }
        const double minutes = std::chrono::duration<double>(Clock::now() - begin).count() / 60.0;
        for (std::size_t i = 0; i < channels.size(); ++i) {
            Channel& channel = channels[i];
            EndPhase(channel, minutes, totals[static_cast<std::size_t>(channel.fault)]);
            if (healthy && channel.check->WholeCount() == channel.whole) {
                ++silent;
            }
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

// What may be left over at the end of the last healthy phase beyond the
// first: a few handles and threads of the HTTP stack's pools and of
// connections being replaced come and go; one per channel and fault phase
// would be a leak.
bool Grew(std::uint64_t first, std::uint64_t last) { return last > first + 4 + first / 10; }

int RunSoak(const CliContext& context, const SoakOptions& options) {
    const std::vector<Fault> kinds = FaultKinds(options);
    if (kinds.empty()) {
        return kExitFailed;
    }
    std::vector<Channel> channels(options.channels);
    for (std::uint32_t i = 0; i < options.channels; ++i) {
        if (!StartChannel(context, options, i, channels[i])) {
            return kExitFailed;
        }
    }
    std::vector<KindTotals> totals(static_cast<std::size_t>(Fault::Count));
    std::vector<Resources> healthyResources;
    std::uint64_t silent = 0;
    const bool ran = RunPhases(channels, options, kinds, totals, healthyResources, silent);
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
    const bool delivered = healthy.whole * 10 >= healthy.offered * 8 && (silent == 0 || !options.strict);
    // A count that reads 0 could not be read, and proves nothing.
    const bool grew = options.strict && !healthyResources.empty() &&
                      (Grew(healthyResources.front().handles, healthyResources.back().handles) ||
                       Grew(healthyResources.front().threads, healthyResources.back().threads) ||
                       healthyResources.front().handles == 0 || healthyResources.front().threads == 0);
    std::printf("pictures checked %s; %llu damaged; healthy phases delivered %llu of %llu, %llu channel phases "
                "without a picture; %s and threads %s\n",
                PictureCheck::Decodes() ? "by decoding" : "by structure", static_cast<unsigned long long>(damaged),
                static_cast<unsigned long long>(healthy.whole), static_cast<unsigned long long>(healthy.offered),
                static_cast<unsigned long long>(silent), brevane::platform::HandlesName(),
                !options.strict ? "not judged (no --strict)"
                : grew          ? "GREW from the first healthy phase to the last (or could not be read)"
                                : "back near the first healthy phase");
    if (!ran || damaged != 0 || !delivered || grew) {
        std::cerr << "darvik-host soak: failed\n";
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
    command
        ->add_option("--healthy-phase", options->healthyPhase,
                     "Seconds per healthy phase, when they should differ from the fault phases (long enough for "
                     "the channels' back-off to end: 40 s after fault phases of 12 s)")
        ->check(CLI::Range(1.0, 3600.0));
    command->add_option("--fps", options->fps, "Pictures per second of each camera")
        ->check(CLI::Range(1, 25))
        ->capture_default_str();
    command->add_option("--stream", options->stream, "mjpeg, mpeg, or mixed (MJPEG on even channels, MPEG-4 on odd)")
        ->check(CLI::IsMember({"mjpeg", "mpeg", "mixed"}))
        ->capture_default_str();
    command->add_option("--faults", options->faults,
                        "Fault kinds to run (drop stall refuse 401 garbage split cut exif values); default all")
        ->delimiter(',');
    command->add_flag("--strict", options->strict,
                      "Also fail when a channel has no picture in a healthy phase, or when handles (descriptors) or "
                      "threads grew from the first healthy phase to the last; healthy phases must then outlast "
                      "the channels' back-off (see --healthy-phase)");
    command->callback([&context, options] { context.exitCode = RunSoak(context, *options); });
}

}  // namespace darvik::cli
