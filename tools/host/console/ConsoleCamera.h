// One camera of the web console: a driver made through the module's exports
// and everything the page does with it, the way a recorder uses a driver.
// Channel 0 runs with the chosen stream settings and feeds the live picture;
// the digital I/O runs with an event sink; the PTZ interface of channel 0
// serves the direction pad and the presets; the capability query runs at the
// start and on request. Every change is published to the EventHub as JSON.
// A camera's password is never part of what is published or answered.
//
// Owned by the console command, which calls Start and Stop. One worker thread
// per camera makes every driver call (Open and Close must not overlap other
// calls); the server's connection threads hand it commands through
// Command(), which waits for the answer. The capability query runs on a
// thread of its own. The module calls the receiver and sinks on its threads.
//
// Its files by job: ConsoleCamera.cpp (start, stop, Submit), ConsoleCommands.cpp
// (the page's commands), ConsoleWorker.cpp (the worker), ConsoleProbe.cpp (the
// capability query) and ConsoleSinks.cpp (the receiver and the I/O sink).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "console/EventHub.h"
#include "console/Preview.h"
#include "core/Mutex.h"
#include "kit/CameraOptions.h"
#include "kit/HostDriver.h"
#include "kit/ModuleLoader.h"

namespace darvik::host {
struct ProbeResult;
}

namespace darvik::console {

// The stream settings the page can change.
struct StreamChoice {
    bool mpeg = false;
    std::uint16_t width = 352;
    std::uint16_t height = 288;
    std::uint32_t fps = 10;
    std::uint16_t quality = 75;

    nlohmann::json ToJson() const;
    // Takes the fields present in json; false with a reason when one is out
    // of range.
    bool Update(const nlohmann::json& json, std::string& error);
};

struct CameraSetup {
    int id = 0;
    std::uint64_t serial = 0;    // new each time a camera is made, also anew under the same id
    std::string label;           // shown on the page, e.g. "127.0.0.1:8080"
    host::CameraOptions camera;  // resolved address and credentials
    std::uint32_t inputs = 0;    // 0: as many as the capability query reports
    std::uint32_t outputs = 0;   // 0: as many as the capability query reports
    bool ntsc = false;           // custom parameter 1 of the open parameters
    StreamChoice stream;
};

class ConsoleCamera {
   public:
    ConsoleCamera(std::string modulePath, CameraSetup setup, EventHub& events);
    ~ConsoleCamera();
    ConsoleCamera(const ConsoleCamera&) = delete;
    ConsoleCamera& operator=(const ConsoleCamera&) = delete;

    // Loads the module and creates the driver (on the caller's thread), then
    // starts the worker, which queries, opens and starts everything. False
    // with a reason when the module did not load or made no driver.
    bool Start(std::string& error);
    // Stops the channel and the I/O, closes and deletes the driver; waits for
    // the worker and the query. Safe to call twice.
    void Stop();

    int Id() const { return m_setup.id; }
    std::uint64_t Serial() const { return m_setup.serial; }
    LatestPicture& Pictures() { return m_pictures; }
    // Name and address for the page; never the password.
    nlohmann::json Describe() const;

    // A page's command: verb "ptz", "preset", "output", "stream" or "probe"
    // with its JSON body. Runs on the worker and answers {"ok": ...}.
    nlohmann::json Command(const std::string& verb, const nlohmann::json& body);

    class Receiver;
    class IoSink;

   private:
    using Task = std::function<nlohmann::json()>;

    void Run();
    // Runs one step of the worker or the query thread; an exception it
    // throws is logged and published, and the thread goes on.
    void Guarded(const char* what, const std::function<void()>& step);
    nlohmann::json Submit(Task task);
    bool OpenDriver();
    void CloseDriver();
    bool StartChannel();
    void StopChannel();
    void SampleStatus();
    void Probe();
    void StartProbe();
    // The model name and the input and output counts the driver is opened
    // with, from a query's result and the command line.
    void KeepFindings(const host::ProbeResult& result);

    nlohmann::json Ptz(const nlohmann::json& body);
    nlohmann::json Preset(const nlohmann::json& body);
    nlohmann::json Output(const nlohmann::json& body);
    nlohmann::json Stream(const nlohmann::json& body);

    void PublishStatus(const char* state);
    void PublishIo();
    void PublishPresets();
    void PublishSettings();
    void NoteFailure(const std::string& text);
    std::string Redact(std::string text) const;

    const std::string m_modulePath;
    CameraSetup m_setup;  // the stream part is changed on the worker only
    EventHub& m_events;
    LatestPicture m_pictures;

    host::HostDriver m_host;                // used on the worker after Start
    host::ModuleLoader m_queryModule;       // loaded in Start, then read only
    std::unique_ptr<Receiver> m_receiver;
    std::unique_ptr<IoSink> m_ioSink;
    brevane::ipcapture::IIPVideoCapture* m_video = nullptr;  // worker only
    brevane::ICaptureIOApi* m_io = nullptr;                  // worker only
    brevane::IIPPTZApi* m_ptz = nullptr;                     // worker only
    bool m_open = false;                                     // worker only
    bool m_channelRunning = false;                           // worker only
    std::uint64_t m_lastFrames = 0;                          // worker only
    std::uint64_t m_lastBytes = 0;                           // worker only
    std::chrono::steady_clock::time_point m_lastSample{};    // worker only

    std::thread m_worker;
    brevane::Mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::packaged_task<nlohmann::json()>> m_tasks GUARDED_BY(m_mutex);
    bool m_stopping GUARDED_BY(m_mutex) = false;
    std::string m_lastFailure GUARDED_BY(m_mutex);
    std::vector<int> m_outputs GUARDED_BY(m_mutex);  // 0 off, 1 on
    std::uint32_t m_inputCount GUARDED_BY(m_mutex) = 0;
    std::uint32_t m_outputCount GUARDED_BY(m_mutex) = 0;
    std::string m_model GUARDED_BY(m_mutex);  // as queried

    std::thread m_probeThread;           // started and joined on the worker (and in Stop)
    std::atomic<bool> m_probing{false};
    std::atomic<bool> m_stopFlag{false};
};

}  // namespace darvik::console
