// darvik-host capture: opens a driver for a camera (or for the built-in
// simulator with --simulate), starts video channel 0 with the chosen stream
// settings and writes the frames it receives: MJPEG as numbered .jpg files in
// a folder or as one .mjpeg file, MPEG-4 as one .m4v elementary stream. On a
// terminal a status line shows frames, frames per second, kB/s and the
// channel state. At the end it prints the message log and a summary; the exit
// status is non-zero when no frame arrived. With --out - the pictures go to
// standard output and every line of text to standard error.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include <CLI/CLI.hpp>

#include "camsim/Simulator.h"
#include "cli/CaptureOutput.h"
#include "cli/Cli.h"
#include "cli/SimulateOptions.h"
#include "darvik/Contract.h"
#include "kit/CameraOptions.h"
#include "kit/FrameReceiver.h"
#include "kit/HostDriver.h"
#include "kit/HostSystem.h"
#include "kit/OpenParameters.h"
#include "kit/StreamSettings.h"
#include "kit/Vocabulary.h"

namespace darvik::cli {
namespace {

using Clock = std::chrono::steady_clock;

struct CaptureOptions {
    host::CameraOptions camera;
    SimulateOptions sim;
    std::string stream = "mjpeg";
    std::string standard = "pal";  // told to the driver (custom parameter 1)
    CLI::Option* standardOption = nullptr;
    std::uint16_t width = 352;
    std::uint16_t height = 0;  // 0: the standard's height for the width
    std::uint32_t fps = 0;     // 0: the standard's full rate
    std::uint16_t quality = 75;
    std::uint64_t frames = 0;
    double seconds = 0;
    double timeout = 30;  // give up on --frames after this many seconds
    std::string out;

    bool ToStandardOutput() const { return out == CaptureOutput::kStandardOutput; }
    // Where the text goes: standard error when the pictures take standard
    // output.
    std::ostream& Log() const { return ToStandardOutput() ? std::cerr : std::cout; }
    std::FILE* LogFile() const { return ToStandardOutput() ? stderr : stdout; }
    std::string OutName() const { return ToStandardOutput() ? "standard output" : out; }
};

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// A simulated camera and the driver share one video standard: the simulator
// takes --standard unless --sim-standard is given, and --standard, when not
// given, takes --sim-standard.
void MatchStandards(CaptureOptions& options) {
    if (!options.sim.Simulate()) {
        return;
    }
    if (!Given(options.sim.standardOption)) {
        options.sim.standard = options.standard;
    } else if (!Given(options.standardOption)) {
        options.standard = options.sim.standard;
    }
}

// Fills in the defaults that depend on the standard and checks the rest.
bool Complete(CaptureOptions& options, OutputKind& kind, std::string& error) {
    const bool ntsc = options.standard == "ntsc";
    if (options.height == 0) {
        const std::uint16_t full = ntsc ? 480 : 576;
        options.height = options.width >= 704 ? full : static_cast<std::uint16_t>(full / 2);
        if (options.width <= 160) {
            options.height = static_cast<std::uint16_t>(full / 4);
        }
    }
    if (options.fps == 0) {
        options.fps = ntsc ? 30 : 25;
    }
    if (options.fps > 1000) {
        error = "--fps must be 1 to 1000";
        return false;
    }
    if ((options.frames == 0) == (options.seconds <= 0)) {
        error = "give exactly one of --frames N and --seconds S";
        return false;
    }
    if (options.stream == "mpeg") {
        kind = OutputKind::Mpeg4File;
    } else if (options.ToStandardOutput() || EndsWith(options.out, ".mjpeg") || EndsWith(options.out, ".mjpg")) {
        kind = OutputKind::MjpegFile;
    } else {
        kind = OutputKind::JpegFolder;
    }
    return true;
}

// One status line, rewritten in place on standard output, or on standard
// error when the pictures go to standard output.
class StatusLine {
   public:
    explicit StatusLine(std::FILE* out)
        : m_out(out), m_enabled(out == stdout ? host::StandardOutputIsTerminal() : host::StandardErrorIsTerminal()) {}

    void Update(std::uint64_t frames, std::uint64_t bytes, const char* state) {
        if (!m_enabled) {
            return;
        }
        const Clock::time_point now = Clock::now();
        const double interval = Seconds(now - m_lastTime);
        if (m_started && interval < 0.5) {
            return;
        }
        if (m_started && interval > 0) {
            m_fps = static_cast<double>(frames - m_lastFrames) / interval;
            m_kbps = static_cast<double>(bytes - m_lastBytes) / 1024.0 / interval;
        }
        m_started = true;
        m_lastTime = now;
        m_lastFrames = frames;
        m_lastBytes = bytes;
        std::fprintf(m_out, "\r  frames %-8llu  %6.1f fps  %9.1f kB/s  channel %-12s",
                     static_cast<unsigned long long>(frames), m_fps, m_kbps, state);
        std::fflush(m_out);
    }
    void Finish() {
        if (m_enabled && m_started) {
            std::fprintf(m_out, "\n");
        }
    }

   private:
    std::FILE* m_out;
    bool m_enabled;
    bool m_started = false;
    Clock::time_point m_lastTime{};
    std::uint64_t m_lastFrames = 0;
    std::uint64_t m_lastBytes = 0;
    double m_fps = 0;
    double m_kbps = 0;
};

// The camera: the one given, or the simulator started on loopback. False,
// with the reason printed, when there is none.
bool PrepareCamera(const char* name, CaptureOptions& options, std::unique_ptr<camsim::Simulator>& simulator) {
    std::string error;
    if (!options.sim.Simulate()) {
        if (!host::Resolve(options.camera, error)) {
            std::cerr << name << ": " << error << "\n";
            return false;
        }
        return true;
    }
    options.sim.framesPerSecond = std::min<std::uint32_t>(options.fps, 60);
    if (!StartSimulator(options.sim, 0, options.camera, simulator, error)) {
        std::cerr << name << ": simulator: " << error << "\n";
        return false;
    }
    options.Log() << "simulator: " << DescribeSimulator(*simulator) << "\n";
    return true;
}

// Shows the status line until the output has its frames, the time is up or
// writing failed.
void WatchChannel(brevane::ipcapture::IIPVideoCapture& video, CaptureOutput& output, const CaptureOptions& options,
                  Clock::time_point begin) {
    StatusLine status(options.LogFile());
    const auto limit = std::chrono::duration<double>(options.frames != 0 ? options.timeout : options.seconds);
    const Clock::time_point deadline = begin + std::chrono::duration_cast<Clock::duration>(limit);
    while (Clock::now() < deadline) {
        if (output.WaitForLimit(std::chrono::milliseconds(100)) || !output.Error().empty()) {
            break;
        }
        std::int32_t state = -1;
        std::int32_t detail = 0;
        video.GetChannelStatus(0, &state, &detail, nullptr, 0);
        status.Update(output.FramesWritten(), output.BytesWritten(), host::ChannelStateName(state));
    }
    status.Finish();
}

// Opens the driver, runs channel 0 into the output while WatchChannel lets
// it, and stops it. True when the channel started; `end` is set when
// capturing ended.
bool CaptureFrames(const char* name, host::HostDriver& host, host::FrameReceiver& receiver, CaptureOutput& output,
                   const CaptureOptions& options, Clock::time_point begin, Clock::time_point& end) {
    if (!host.Open()) {
        std::cerr << name << ": Open failed\n";
        return false;
    }
    brevane::ipcapture::IIPVideoCapture* video = host.Driver().GetVideoCapture();
    if (video == nullptr) {
        std::cerr << name << ": the driver has no video capture\n";
        return false;
    }
    host::StreamSettings settings(options.width, options.height, static_cast<std::uint16_t>(1000 / options.fps),
                                  options.quality);
    options.Log() << "capturing " << options.stream << " " << options.width << "x" << options.height << " at "
                  << options.fps << " fps (interval " << settings.encoding.frameIntervalMs << " ms), quality "
                  << options.quality << " from " << options.camera.host << ":" << options.camera.port << " into "
                  << options.OutName() << "\n";
    if (!video->StartChannel(0, &receiver, &settings)) {
        std::cerr << name << ": StartChannel failed\n";
        return false;
    }
    WatchChannel(*video, output, options, begin);
    end = Clock::now();
    video->StopChannel(0);
    return true;
}

// Prints the message log and the summary; returns the exit status.
int Report(const char* name, const CaptureOptions& options, host::HostDriver& host, host::FrameReceiver& receiver,
           const CaptureOutput& output, bool started, double elapsed) {
    std::ostream& log = options.Log();
    PrintMessageLog(log, host.Messages());
    const std::uint64_t written = output.FramesWritten();
    const std::uint64_t bytes = output.BytesWritten();
    log.flush();
    std::FILE* text = options.LogFile();
    std::fprintf(text, "captured %llu frames (%llu bytes) in %.1f s: %.1f fps, %.1f kB/s\n",
                 static_cast<unsigned long long>(written), static_cast<unsigned long long>(bytes), elapsed,
                 static_cast<double>(written) / elapsed, static_cast<double>(bytes) / 1024.0 / elapsed);
    std::fprintf(text, "frames offered %llu, accepted %llu, signal lost %llu, frame contract violations %llu\n",
                 static_cast<unsigned long long>(receiver.Delivered()),
                 static_cast<unsigned long long>(receiver.Accepted()),
                 static_cast<unsigned long long>(receiver.SignalLost()),
                 static_cast<unsigned long long>(host.Frames().ViolationCount()));
    std::fflush(text);
    for (const std::string& violation : host.Frames().Violations()) {
        log << "  violation: " << violation << "\n";
    }
    log << "output: " << options.OutName() << "\n";
    if (!output.Error().empty()) {
        std::cerr << name << ": " << output.Error() << "\n";
        return kExitFailed;
    }
    if (!started || written == 0) {
        std::cerr << name << ": no frame arrived\n";
        return kExitFailed;
    }
    if (options.frames != 0 && written < options.frames) {
        std::cerr << name << ": only " << written << " of " << options.frames << " frames arrived within "
                  << options.timeout << " s\n";
        return kExitFailed;
    }
    return kExitOk;
}

int RunCapture(const CliContext& context, CaptureOptions& options) {
    const char* name = "darvik-host capture";
    std::string error;
    OutputKind kind = OutputKind::JpegFolder;
    MatchStandards(options);
    if (!Complete(options, kind, error)) {
        std::cerr << name << ": " << error << "\n";
        return kExitFailed;
    }
    std::unique_ptr<camsim::Simulator> simulator;
    if (!PrepareCamera(name, options, simulator)) {
        return kExitFailed;
    }
    CaptureOutput output;
    if (!output.Open(kind, options.out, error)) {
        std::cerr << name << ": " << error << "\n";
        return kExitFailed;
    }
    output.SetLimit(options.frames);

    // The receiver outlives the driver, which may call it until it is closed.
    host::FrameReceiver receiver;
    host::HostDriver host;
    if (const int code = StartDriver(name, context, options.camera, host); code != kExitOk) {
        return code;
    }
    host::OpenParameters& parameters = host.Parameters();
    parameters.connection.streamType = options.stream == "mpeg" ? 2 : 1;
    parameters.device.channelCount = 1;
    parameters.SetCustomParameter(1, options.standard == "ntsc" ? "1" : "0");
    receiver.SetDataCallback([&output](const host::FrameRecord& record, std::span<const std::uint8_t> data) {
        output.Write(data, record.format == brevane::contract::kFormatDivx);
    });

    const Clock::time_point begin = Clock::now();
    Clock::time_point end = begin;
    const bool started = CaptureFrames(name, host, receiver, output, options, begin, end);
    if (end == begin) {
        end = Clock::now();
    }
    host.Release();
    output.Close();
    if (simulator) {
        simulator->Stop();
    }
    return Report(name, options, host, receiver, output, started, std::max(Seconds(end - begin), 1e-3));
}

}  // namespace

void RegisterCaptureCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<CaptureOptions>();
    CLI::App* command = app.add_subcommand(
        "capture", "Capture video from a camera (or the built-in simulator) into files");
    AddCameraOptions(*command, options->camera);
    AddSimulateOptions(*command, options->sim);
    command->add_option("--stream", options->stream, "mjpeg or mpeg")
        ->check(CLI::IsMember({"mjpeg", "mpeg"}))
        ->capture_default_str();
    options->standardOption =
        command
            ->add_option("--standard", options->standard,
                         "Video standard of the camera (custom parameter 1); with --simulate the simulator's "
                         "too, unless --sim-standard gives it")
            ->check(CLI::IsMember({"pal", "ntsc"}))
            ->capture_default_str();
    command->add_option("--width", options->width, "Picture width")->capture_default_str();
    command->add_option("--height", options->height, "Picture height (default: from width and standard)");
    command->add_option("--fps", options->fps, "Frames per second (default: 25 PAL, 30 NTSC)");
    command->add_option("--quality", options->quality, "Quality in percent")
        ->check(CLI::Range(0, 100))
        ->capture_default_str();
    CLI::Option* count = command->add_option("--frames", options->frames, "Stop after N frames");
    CLI::Option* seconds = command->add_option("--seconds", options->seconds, "Stop after S seconds");
    count->excludes(seconds);
    command->add_option("--timeout", options->timeout, "With --frames: give up after S seconds")
        ->capture_default_str();
    command
        ->add_option("--out", options->out,
                     "Output: a folder for .jpg files, a .mjpeg file, or (MPEG) a .m4v file; - for standard "
                     "output (the pictures back to back, or the MPEG-4 stream; text goes to standard error)")
        ->required();
    command->callback([&context, options] { context.exitCode = RunCapture(context, *options); });
}

}  // namespace darvik::cli
