// A host for DarvikIPCapture in C++17, from the public headers alone.
//
//   darvik_sample_host MODULE CAMERA[:PORT] [FRAMES [SECONDS [USER PASSWORD]]]
//
//   ./darvik_sample_host /usr/lib/x86_64-linux-gnu/darvik/DarvikIPCapture.so 127.0.0.1:8080 25
//   darvik_sample_host.exe DarvikIPCapture.dll 192.0.2.10 100 30 admin secret
//
// It loads the module and, against one camera:
//   1. asks it what it is (the capability query);
//   2. creates and opens a driver with what the query found;
//   3. streams motion JPEG on channel 0 until FRAMES pictures (default 25)
//      arrived or SECONDS passed (default 30), and stops the channel;
//   4. reads the alarm inputs (digital I/O start and stop);
//   5. adds a preset, finds it in the list, and removes it again;
//   6. closes and deletes the driver and unloads the module.
// Each step prints "ok" or "FAIL" with what it saw. Exit status: 0 when
// every step passed, 1 when one failed, 2 for a usage error or a module that
// cannot be loaded.
//
// The host objects are in HostObjects.h; the few operating-system calls in
// ModuleLoader.h.
#include <stdio.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>

#include "HostObjects.h"
#include "ModuleLoader.h"
#include "darvik/DarvikIPCapture.h"

namespace {

using namespace sample;

// The exports the sample uses, resolved by name.
struct Exports {
    CreateIPCaptureExFn createDriver = nullptr;
    DeleteIPCaptureExFn deleteDriver = nullptr;
    CreateCapabilityQueryModuleFn createQuery = nullptr;
    DeleteCapabilityQueryModuleFn deleteQuery = nullptr;

    bool Resolve(ModuleHandle module) {
        createDriver = FindExport<CreateIPCaptureExFn>(module, "CreateIPCaptureEx");
        deleteDriver = FindExport<DeleteIPCaptureExFn>(module, "DeleteIPCaptureEx");
        createQuery = FindExport<CreateCapabilityQueryModuleFn>(module, "CreateCapabilityQueryModule");
        deleteQuery = FindExport<DeleteCapabilityQueryModuleFn>(module, "DeleteCapabilityQueryModule");
        return createDriver != nullptr && deleteDriver != nullptr && createQuery != nullptr &&
               deleteQuery != nullptr;
    }
};

struct Options {
    const char* module = nullptr;
    char address[256] = {};
    std::uint16_t port = 80;
    unsigned long frames = 25;
    unsigned long seconds = 30;
    const char* user = "";
    const char* password = "";
};

int g_failed = 0;

// Prints one step's verdict; counts the failures.
bool Check(bool passed, const char* what) {
    printf("%s  %s\n", passed ? "ok  " : "FAIL", what);
    fflush(nullptr);
    if (!passed) {
        ++g_failed;
    }
    return passed;
}

bool ParseNumber(const char* text, unsigned long low, unsigned long high, unsigned long* value) {
    char* end = nullptr;
    *value = strtoul(text, &end, 10);
    return end != text && *end == '\0' && *value >= low && *value <= high;
}

bool ParseOptions(int argc, char** argv, Options* options) {
    if (argc < 3 || argc == 6 || argc > 7) {
        return false;
    }
    options->module = argv[1];
    CopyText(options->address, argv[2]);
    if (char* colon = std::strrchr(options->address, ':')) {
        unsigned long port = 0;
        if (!ParseNumber(colon + 1, 1, 65535, &port)) {
            return false;
        }
        options->port = static_cast<std::uint16_t>(port);
        *colon = '\0';
    }
    if (argc > 3 && !ParseNumber(argv[3], 1, 1000000, &options->frames)) {
        return false;
    }
    if (argc > 4 && !ParseNumber(argv[4], 1, 86400, &options->seconds)) {
        return false;
    }
    if (argc == 7) {
        options->user = argv[5];
        options->password = argv[6];
    }
    return options->address[0] != '\0';
}

// Waits until `done` says so or `seconds` pass; polls every 50 ms.
template <class Done>
bool WaitFor(unsigned long seconds, Done done) {
    for (unsigned long waited = 0; waited < seconds * 1000; waited += 50) {
        if (done()) {
            return true;
        }
        SleepMilliseconds(50);
    }
    return done();
}

// Step 1: what the camera is. The findings are read only after the
// callback came, on the fetching thread, after the last sink call.
bool QueryCamera(const Exports& exports, const Options& options, CapabilitySink* sink) {
    QueryCallback callback;
    IIPCapabilityQuery* query = exports.createQuery(&callback, 0);
    if (!Check(query != nullptr, "CreateCapabilityQueryModule")) {
        return false;
    }
    const bool started = query->Start(options.address, options.port, options.user, options.password, sink) == 1;
    Check(started, "capability query started");
    const bool ended = started && WaitFor(options.seconds, [&] { return callback.Result() != QueryCallback::kPending; });
    // Destroying the module waits for a query still running: after this no
    // sink or callback call can come.
    exports.deleteQuery(query);
    if (!started) {
        return false;
    }
    char line[256];
    CopyText(line, "capability query answered: ");
    std::strncat(line, sink->Model(), sizeof(line) - std::strlen(line) - 1);
    return Check(ended && callback.Result() == QueryCallback::kSucceeded, line) &&
           Check(sink->Value(0) == 1 && std::strncmp(sink->Model(), "Darvik ", 7) == 0,
                 "  the camera answered and named its model") &&
           Check(sink->Resolutions() > 0 && sink->FrameIntervals() > 0, "  resolutions and frame rates listed") &&
           Check(std::strcmp(sink->Address(), options.address) == 0, "  the connection fields name the camera") &&
           Check(std::strcmp(sink->VideoStandard(), "0") == 0 || std::strcmp(sink->VideoStandard(), "1") == 0,
                 "  video standard given (0 PAL, 1 NTSC)");
}

// Step 3: pictures from channel 0.
void StreamPictures(IIPVideoCapture* video, const Options& options, bool ntsc) {
    const std::uint16_t width = 352;
    const std::uint16_t height = ntsc ? 240 : 288;
    Resolution resolution(width, height);
    VideoFormat format(&resolution);
    EncodingSettings encoding(40, 80);  // 25 pictures a second, high quality
    StreamSettings settings(&format, &encoding);
    FrameReceiver receiver(width);

    if (!Check(video->StartChannel(0, &receiver, &settings), "StartChannel(0): 352 wide motion JPEG")) {
        return;
    }
    WaitFor(options.seconds, [&] { return receiver.Good() >= static_cast<long>(options.frames) || receiver.Bad() > 0; });
    // Once StopChannel returns, the receiver and the frames are not called
    // again; the receiver may then go out of scope.
    Check(video->StopChannel(0), "StopChannel(0)");
    printf("      %ld pictures, %ld lines high\n", receiver.Good(), receiver.LastHeight());
    Check(receiver.Good() >= static_cast<long>(options.frames) && receiver.Bad() == 0,
          "pictures arrived whole, as JPEG of the asked width");
}

// Step 4: every input reported once by Start, on this thread.
void ReadInputs(ICaptureIOApi* io, std::uint32_t inputs) {
    IOEventSink events;
    if (!Check(io != nullptr && io->SetEventSink(&events), "GetCaptureIO, SetEventSink")) {
        return;
    }
    const bool started = io->Start();
    Check(started, "digital I/O started");
    Check(events.Reports() == static_cast<long>(inputs) && events.Failures() == 0,
          "every alarm input reported, no failure");
    Check(io->GetInputCount() == static_cast<std::int32_t>(inputs), "input count as described");
    // After Stop the event sink is not called again.
    Check(started && io->Stop(), "digital I/O stopped");
}

// Step 5: a preset added, listed, and removed.
void ExercisePresets(IIPCaptureDriverEx* driver) {
    IIPPTZDriver* ptzDriver = driver->GetPTZDriver();
    IIPPTZApi* ptz = ptzDriver != nullptr ? ptzDriver->GetPTZApi(0) : nullptr;
    if (!Check(ptz != nullptr && ptz->CheckReady() == brevane::PTZ_OK, "PTZ of channel 0 ready")) {
        return;
    }
    const char* name = "Sample host preset";
    const std::int32_t before = ptz->GetPrepositionCount();
    Check(ptz->AddPreposition(name) == brevane::PTZ_OK, "AddPreposition");
    const std::int32_t count = ptz->GetPrepositionCount();
    bool listed = false;
    char buffer[64];
    for (std::int32_t index = 0; index < count; ++index) {
        if (ptz->GetPrepositionName(index, buffer, sizeof(buffer)) == brevane::PTZ_OK &&
            std::strcmp(buffer, name) == 0) {
            listed = true;
        }
    }
    Check(count == before + 1 && listed, "the new preset is listed");
    Check(ptz->GetCurrentPreposition(buffer, sizeof(buffer)) == brevane::PTZ_OK && std::strcmp(buffer, name) == 0,
          "the camera is at the new preset");
    Check(ptz->RemovePreposition(name) == brevane::PTZ_OK && ptz->GetPrepositionCount() == before,
          "RemovePreposition");
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        printf("usage: %s MODULE CAMERA[:PORT] [FRAMES [SECONDS [USER PASSWORD]]]\n", argc > 0 ? argv[0] : "");
        return 2;
    }
    ModuleHandle module = LoadModule(options.module);
    Exports exports;
    if (module == nullptr || !exports.Resolve(module)) {
        printf("cannot load %s, or it lacks the exports\n", options.module);
        if (module != nullptr) {
            UnloadModule(module);
        }
        return 2;
    }

    CapabilitySink capabilities;
    if (QueryCamera(exports, options, &capabilities)) {
        // The device as the query found it: counts and video standard.
        const std::uint32_t inputs = static_cast<std::uint32_t>(capabilities.Value(2));
        const std::uint32_t outputs = static_cast<std::uint32_t>(capabilities.Value(3));
        const bool ntsc = std::strcmp(capabilities.VideoStandard(), "1") == 0;
        MessageSink messages;
        FrameAllocator allocator;
        ConnectionSettings connection(options.address, options.port, options.user, options.password);
        DeviceDescription device(capabilities.Model(), inputs, outputs);
        OpenParameters parameters(&device, &connection, capabilities.VideoStandard());

        IIPCaptureDriverEx* driver = exports.createDriver();
        if (Check(driver != nullptr, "CreateIPCaptureEx")) {
            if (Check(driver->Open(&messages, &allocator, &parameters), "Open") &&
                Check(messages.OpenedLines() == 1, "  the module said DRIVER IS OPENED")) {
                StreamPictures(driver->GetVideoCapture(), options, ntsc);
                ReadInputs(driver->GetCaptureIO(), inputs);
                ExercisePresets(driver);
            }
            // Close stops every thread of the driver; the sink and the
            // allocator are not called after it returns.
            driver->Close();
            exports.deleteDriver(driver);
        }
        Check(allocator.WrongSources() == 0 && allocator.ForeignReleases() == 0,
              "every frame asked for by \"DarvikIPCapture\" and given back to its allocator");
        printf("      %ld module lines, %ld of level 1\n", messages.Lines(), messages.Failures());
    }
    UnloadModule(module);

    printf("%s\n", g_failed == 0 ? "darvik_sample_host: all steps passed" : "darvik_sample_host: FAILED");
    fflush(nullptr);
    return g_failed == 0 ? 0 : 1;
}
