// darvik-host io: opens a driver through the exports, starts its digital I/O
// with an event sink that prints every input change and I/O failure as it
// arrives (with the time of day), applies --set output values, and runs for
// --seconds or until Ctrl-C, then stops, closes and deletes the driver.
#include <chrono>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/Cli.h"
#include "cli/SimulateOptions.h"
#include "kit/CameraOptions.h"
#include "kit/HostDriver.h"
#include "kit/HostSystem.h"

namespace darvik::cli {
namespace {

struct IoOptions {
    host::CameraOptions camera;
    SimulateOptions sim;
    std::uint32_t inputs = 1;
    std::uint32_t outputs = 1;
    std::vector<std::string> sets;  // OUTPUT=VALUE
    double seconds = 0;             // 0: until Ctrl-C
};

struct OutputSetting {
    std::int32_t output = 0;
    std::int32_t value = 0;
};

bool ParseSetting(const std::string& text, OutputSetting& setting) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) {
        return false;
    }
    try {
        std::size_t used = 0;
        const int output = std::stoi(text.substr(0, eq), &used);
        if (used != eq || output < 0) {
            return false;
        }
        const std::string valueText = text.substr(eq + 1);
        const int value = std::stoi(valueText, &used);
        if (used != valueText.size()) {
            return false;
        }
        setting = {output, value};
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Time of day with milliseconds, e.g. 14:03:07.215.
std::string TimeOfDay() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    {
        // std::localtime shares one result between threads.
        static std::mutex localtimeMutex;
        std::lock_guard<std::mutex> guard(localtimeMutex);
        if (const std::tm* converted = std::localtime(&seconds)) {
            local = *converted;
        }
    }
    std::ostringstream text;
    text << std::put_time(&local, "%H:%M:%S") << "." << std::setw(3) << std::setfill('0') << millis;
    return text.str();
}

// Prints one line at a time, whole, from any thread.
class LinePrinter {
   public:
    void Print(const std::string& line) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::cout << "[" << TimeOfDay() << "] " << line << std::endl;
    }

   private:
    std::mutex m_mutex;
};

// The host's event sink: prints each notification as it arrives.
class PrintingEventSink final : public brevane::ipcapture::IIOEventSink {
    DARVIK_IMPLEMENT_SLOT0(PrintingEventSink)

   public:
    explicit PrintingEventSink(LinePrinter& printer) : m_printer(printer) {}
    ~PrintingEventSink() = default;

    void OnInputChanged(std::uint32_t input, std::int32_t state) override {
        m_printer.Print("input " + std::to_string(input) + " -> " + std::to_string(state) +
                        (state == brevane::ipcapture::kIoStateHigh  ? " (high)"
                         : state == brevane::ipcapture::kIoStateLow ? " (low)"
                                                                    : ""));
    }
    void OnIOFailure() override { m_printer.Print("I/O failure: every input and output state reset"); }

   private:
    LinePrinter& m_printer;
};

// Runs until `seconds` passed (0: no limit) or a signal arrived.
void RunFor(double seconds, host::InterruptWait& signals, LinePrinter& printer) {
    const auto start = std::chrono::steady_clock::now();
    const auto limit = std::chrono::duration<double>(seconds);
    for (;;) {
        if (signals.Wait(100)) {
            printer.Print("interrupted: stopping");
            return;
        }
        if (seconds > 0 && std::chrono::steady_clock::now() - start >= limit) {
            return;
        }
    }
}

// The camera: the one given, or the simulator started on loopback with as
// many inputs and outputs as described to the driver, unless told
// otherwise. False, with the reason printed, when there is none.
bool PrepareCamera(IoOptions& options, std::unique_ptr<camsim::Simulator>& simulator) {
    std::string error;
    if (!options.sim.Simulate()) {
        if (!host::Resolve(options.camera, error)) {
            std::cerr << "darvik-host io: " << error << "\n";
            return false;
        }
        return true;
    }
    if (!Given(options.sim.inputsOption)) {
        options.sim.inputs = options.inputs;
    }
    if (!Given(options.sim.outputsOption)) {
        options.sim.outputs = options.outputs;
    }
    if (!StartSimulator(options.sim, 0, options.camera, simulator, error)) {
        std::cerr << "darvik-host io: simulator: " << error << "\n";
        return false;
    }
    std::cout << "simulator: " << DescribeSimulator(*simulator) << "\n";
    if (simulator->ControlPort() != 0) {
        std::cout << "flip an input: curl -X POST '" << simulator->ControlUrl() << "inputs/flip?input=0'\n";
    }
    return true;
}

// Starts the I/O, queues the output settings, lets it run and stops it.
// True when both start and stop succeeded.
bool RunStarted(brevane::ICaptureIOApi& io, const IoOptions& options, const std::vector<OutputSetting>& settings,
                host::InterruptWait& signals, LinePrinter& printer) {
    printer.Print("digital I/O of " + options.camera.host + ":" + std::to_string(options.camera.port) + ": " +
                  std::to_string(io.GetInputCount()) + " inputs, " + std::to_string(io.GetOutputCount()) +
                  " outputs");
    const bool started = io.Start();
    printer.Print(started ? "started (inputs are polled every 4 s)" : "Start FAILED");
    for (const OutputSetting& setting : settings) {
        const bool queued = io.SetOutput(setting.output, setting.value);
        printer.Print("output " + std::to_string(setting.output) + " := " + std::to_string(setting.value) +
                      (queued ? " queued" : " REFUSED"));
    }
    RunFor(options.seconds, signals, printer);
    const bool stopped = io.Stop();
    printer.Print(stopped ? "stopped" : "Stop FAILED");
    return started && stopped;
}

int RunIo(const CliContext& context, IoOptions& options) {
    std::vector<OutputSetting> settings;
    for (const std::string& text : options.sets) {
        OutputSetting setting;
        if (!ParseSetting(text, setting)) {
            std::cerr << "darvik-host io: --set wants OUTPUT=VALUE (output from 0), not \"" << text << "\"\n";
            return kExitFailed;
        }
        settings.push_back(setting);
    }

    host::InterruptWait signals;  // before any thread exists
    LinePrinter printer;
    std::unique_ptr<camsim::Simulator> simulator;
    if (!PrepareCamera(options, simulator)) {
        return kExitFailed;
    }

    PrintingEventSink sink(printer);
    host::HostDriver host;
    if (const int code = StartDriver("darvik-host io", context, options.camera, host); code != kExitOk) {
        return code;
    }
    host.Parameters().device.inputCount = options.inputs;
    host.Parameters().device.outputCount = options.outputs;
    host.Parameters().SetCustomParameter(1, "0");

    int exitCode = kExitOk;
    brevane::ICaptureIOApi* io = nullptr;
    if (!host.Open() || (io = host.Driver().GetCaptureIO()) == nullptr) {
        std::cerr << "darvik-host io: the driver did not open\n";
        exitCode = kExitFailed;
    } else {
        io->SetEventSink(&sink);
        exitCode = RunStarted(*io, options, settings, signals, printer) ? kExitOk : kExitFailed;
    }
    host.Release();

    if (simulator) {
        std::ostringstream writes;
        for (const camsim::OutputWrite& write : simulator->OutputWrites()) {
            writes << " a_aoa" << write.output << "=" << write.value;
        }
        std::cout << "simulator received output writes:" << (writes.str().empty() ? " none" : writes.str()) << "\n";
        simulator->Stop();
    }
    PrintMessageLog(std::cout, host.Messages());
    return exitCode;
}

}  // namespace

void RegisterIoCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<IoOptions>();
    CLI::App* command = app.add_subcommand(
        "io", "Start a driver's digital I/O, print input changes and failures, set outputs");
    AddCameraOptions(*command, options->camera);
    AddSimulateOptions(*command, options->sim);
    command->add_option("--inputs", options->inputs, "Digital inputs described to the driver")
        ->check(CLI::Range(0, 1024))
        ->capture_default_str();
    command->add_option("--outputs", options->outputs, "Digital outputs described to the driver")
        ->check(CLI::Range(0, 1024))
        ->capture_default_str();
    command->add_option("--set", options->sets, "OUTPUT=VALUE - set an output (from 0) after the start");
    command->add_option("--seconds", options->seconds, "Run this long (0: until Ctrl-C)")
        ->check(CLI::Range(0.0, 86400.0))
        ->capture_default_str();
    command->callback([&context, options] { context.exitCode = RunIo(context, *options); });
}

}  // namespace darvik::cli
