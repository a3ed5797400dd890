#include "console/ConsoleCamera.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "darvik/Contract.h"
#include "darvik/IIPPTZ.h"
#include "kit/CapabilityQueryCallback.h"
#include "kit/CapabilitySink.h"
#include "kit/FrameAllocator.h"
#include "kit/NarrowText.h"
#include "kit/StreamSettings.h"

namespace darvik::console {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr auto kStatusPeriod = std::chrono::seconds(1);
constexpr auto kCommandTimeout = std::chrono::seconds(20);
constexpr auto kQueryTimeout = std::chrono::seconds(15);
// The message sink keeps every line; the console relays them as they come
// and empties it now and then.
constexpr std::size_t kMaxKeptMessages = 256;
// Inputs and outputs shown and described to the driver: as many as the
// module tracks. A camera claiming two billion inputs gets 1024.
constexpr std::uint32_t kMaxPorts = 1024;

std::uint32_t Ports(std::int64_t count) {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(count, 0, kMaxPorts));
}

const char* ChannelStateName(std::int32_t state) {
    switch (state) {
        case brevane::ipcapture::kChannelRunning: return "online";
        case brevane::ipcapture::kChannelConnecting: return "connecting";
        case brevane::ipcapture::kChannelSignalLost: return "signal lost";
        case brevane::ipcapture::kChannelStopped: return "stopped";
        default: return "unknown";
    }
}

const char* PtzStatusName(std::int32_t status) {
    switch (status) {
        case brevane::PTZ_OK: return "PTZ_OK";
        case brevane::PTZ_ERR_INVALID_ARGUMENT: return "PTZ_ERR_INVALID_ARGUMENT";
        case brevane::PTZ_ERR_NOT_READY: return "PTZ_ERR_NOT_READY";
        case brevane::PTZ_ERR_PRESET: return "PTZ_ERR_PRESET";
        case brevane::PTZ_ERR_FULL: return "PTZ_ERR_FULL";
        default: return "UNKNOWN_STATUS";
    }
}

json Refused(const std::string& reason) { return {{"ok", false}, {"error", reason}}; }

// The module's text crosses into the console here and only here: whatever
// the module hands out (log lines, model and resolution names, preset names,
// query messages) is converted to UTF-8 before it reaches JSON, and what the
// page sends is converted back before it reaches the module.
std::string FromModule(std::string_view narrow) { return host::NarrowToUtf8(narrow); }
bool ToModule(std::string_view utf8, std::string& narrow) { return host::Utf8ToNarrow(utf8, narrow); }

// An exception caught at the top of a thread: said on standard error, and
// the thread goes on.
void ReportEscaped(const char* where, const char* what) {
    std::fprintf(stderr, "darvik-host console: %s: %s (caught; the console goes on)\n", where, what);
}

json PtzAnswer(std::int32_t status) {
    return {{"ok", status == brevane::PTZ_OK}, {"status", PtzStatusName(status)}, {"code", status}};
}

int Direction(const std::string& name) {
    static const char* const kNames[] = {"left", "right", "up", "down", "left-up", "right-up", "left-down",
                                         "right-down"};
    for (int i = 0; i < 8; ++i) {
        if (name == kNames[i]) {
            return i;
        }
    }
    return -1;
}

// A whole number member of a JSON object within [low, high].
bool Member(const json& body, const char* name, long low, long high, long& value) {
    const auto found = body.find(name);
    if (found == body.end() || !found->is_number_integer()) {
        return false;
    }
    value = found->get<long>();
    return value >= low && value <= high;
}

std::string Text(const json& body, const char* name) {
    const auto found = body.find(name);
    return found != body.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

json StreamChoice::ToJson() const {
    return {{"stream", mpeg ? "mpeg" : "mjpeg"}, {"width", width}, {"height", height}, {"fps", fps},
            {"quality", quality}};
}

bool StreamChoice::Update(const json& body, std::string& error) {
    StreamChoice next = *this;
    if (body.contains("stream")) {
        const std::string stream = Text(body, "stream");
        if (stream != "mjpeg" && stream != "mpeg") {
            error = "stream must be mjpeg or mpeg";
            return false;
        }
        next.mpeg = stream == "mpeg";
    }
    long value = 0;
    struct Field {
        const char* name;
        long low;
        long high;
        std::function<void(long)> set;
    };
    const Field fields[] = {
        {"width", 16, 4096, [&](long v) { next.width = static_cast<std::uint16_t>(v); }},
        {"height", 16, 4096, [&](long v) { next.height = static_cast<std::uint16_t>(v); }},
        {"fps", 1, 60, [&](long v) { next.fps = static_cast<std::uint32_t>(v); }},
        {"quality", 0, 100, [&](long v) { next.quality = static_cast<std::uint16_t>(v); }},
    };
    for (const Field& field : fields) {
        if (!body.contains(field.name)) {
            continue;
        }
        if (!Member(body, field.name, field.low, field.high, value)) {
            error = std::string(field.name) + " must be a whole number from " + std::to_string(field.low) + " to " +
                    std::to_string(field.high);
            return false;
        }
        field.set(value);
    }
    *this = next;
    return true;
}

// The host's frame receiver for channel 0: counts what arrives and makes the
// live picture from it.
class ConsoleCamera::Receiver final : public brevane::ipcapture::IFrameReceiver {
    DARVIK_IMPLEMENT_SLOT0(Receiver)

   public:
    explicit Receiver(LatestPicture& pictures) : m_preview(pictures) {}
    ~Receiver() = default;

    bool DeliverFrame(brevane::ipcapture::IFrame* frame) override {
        // Called on the module's channel thread: nothing may escape into it.
        try {
            return Deliver(frame);
        } catch (const std::exception& error) {
            ReportEscaped("frame receiver", error.what());
            return false;
        }
    }
    void OnSignalLost() override { signalLost.fetch_add(1); }

    // Between channel runs: MPEG-4 decoding starts again at a key frame.
    void ResetPreview() {
        brevane::MutexLock lock(m_mutex);
        m_preview.Reset();
    }

    std::atomic<std::uint64_t> frames{0};
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<std::uint64_t> signalLost{0};
    std::atomic<std::uint32_t> width{0};
    std::atomic<std::uint32_t> height{0};

   private:
    bool Deliver(brevane::ipcapture::IFrame* frame) {
        // Frames come from the host's own allocator.
        const host::Frame* own = dynamic_cast<const host::Frame*>(frame);
        if (own == nullptr) {
            return false;
        }
        const auto data = own->Data();
        frames.fetch_add(1);
        bytes.fetch_add(data.size());
        width.store(own->Width());
        height.store(own->Height());
        brevane::MutexLock lock(m_mutex);
        if (own->Format() == brevane::contract::kFormatJpeg) {
            m_preview.OnJpeg(data, own->Width(), own->Height());
        } else if (own->Format() == brevane::contract::kFormatDivx || own->Format() == brevane::contract::kFormatDivi) {
            m_preview.OnMpeg4(data, own->Format() == brevane::contract::kFormatDivx);
        }
        return true;
    }

    brevane::Mutex m_mutex;
    PreviewMaker m_preview GUARDED_BY(m_mutex);
};

// The host's I/O event sink: keeps the input states and publishes each change.
class ConsoleCamera::IoSink final : public brevane::ipcapture::IIOEventSink {
    DARVIK_IMPLEMENT_SLOT0(IoSink)

   public:
    explicit IoSink(ConsoleCamera& owner) : m_owner(owner) {}
    ~IoSink() = default;

    void OnInputChanged(std::uint32_t input, std::int32_t state) override {
        try {
            Changed(input, state);
        } catch (const std::exception& error) {
            ReportEscaped("input event", error.what());
        }
    }
    void OnIOFailure() override {
        try {
            Failed();
        } catch (const std::exception& error) {
            ReportEscaped("I/O failure event", error.what());
        }
    }

    void Reset(std::uint32_t inputs) {
        brevane::MutexLock lock(m_mutex);
        m_inputs.assign(std::min(inputs, kMaxPorts), brevane::ipcapture::kIoStateUnknown);
        m_failed = false;
    }
    // 0 unknown, 1 low, 2 high per input; and whether the last report was a failure.
    std::vector<std::int32_t> Inputs(bool& failed) const {
        brevane::MutexLock lock(m_mutex);
        failed = m_failed;
        return m_inputs;
    }

   private:
    // Both run on the module's I/O threads.
    void Changed(std::uint32_t input, std::int32_t state) {
        {
            brevane::MutexLock lock(m_mutex);
            if (input >= m_inputs.size()) {
                if (input >= kMaxPorts) {
                    return;
                }
                m_inputs.resize(input + 1, brevane::ipcapture::kIoStateUnknown);
            }
            m_inputs[input] = state;
            m_failed = false;
        }
        m_owner.PublishIo();
    }
    void Failed() {
        {
            brevane::MutexLock lock(m_mutex);
            std::fill(m_inputs.begin(), m_inputs.end(), brevane::ipcapture::kIoStateUnknown);
            m_failed = true;
        }
        m_owner.NoteFailure("digital I/O failure: every input and output state reset");
        m_owner.PublishIo();
    }

    ConsoleCamera& m_owner;
    mutable brevane::Mutex m_mutex;
    std::vector<std::int32_t> m_inputs GUARDED_BY(m_mutex);
    bool m_failed GUARDED_BY(m_mutex) = false;
};

ConsoleCamera::ConsoleCamera(const cli::CliContext& context, CameraSetup setup, EventHub& events)
    : m_context(context),
      m_setup(std::move(setup)),
      m_events(events),
      m_host("darvik-host console"),
      m_receiver(std::make_unique<Receiver>(m_pictures)),
      m_ioSink(std::make_unique<IoSink>(*this)) {}

ConsoleCamera::~ConsoleCamera() { Stop(); }

json ConsoleCamera::Describe() const {
    return {{"camera", m_setup.id},
            {"label", m_setup.label},
            {"address", m_setup.camera.host + ":" + std::to_string(m_setup.camera.port)},
            {"user", m_setup.camera.user}};
}

std::string ConsoleCamera::Redact(std::string text) const {
    const std::string& secret = m_setup.camera.password;
    if (secret.empty()) {
        return text;
    }
    for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3)) {
        text.replace(at, secret.size(), "***");
    }
    return text;
}

void ConsoleCamera::NoteFailure(const std::string& text) {
    {
        brevane::MutexLock lock(m_mutex);
        m_lastFailure = Redact(text);
    }
    json line = {{"camera", m_setup.id}, {"level", 1}, {"text", Redact(text)}, {"source", "console"}};
    m_events.PublishLog(line.dump());
}

bool ConsoleCamera::Start(std::string& error) {
    if (m_host.Start(m_context, m_setup.camera) != cli::kExitOk) {
        error = "camera " + std::to_string(m_setup.id) + ": no driver (see above)";
        return false;
    }
    if (!m_queryModule.Load(m_context.modulePath)) {
        error = m_queryModule.Error();
        return false;
    }
    const int id = m_setup.id;
    m_host.Messages().SetObserver([this, id](const host::Message& message) {
        // Called on the module's threads: nothing may escape into them.
        try {
            const std::string text = Redact(FromModule(message.textWasNull ? std::string() : message.text));
            if (message.level == 1) {
                brevane::MutexLock lock(m_mutex);
                m_lastFailure = text;
            }
            json line = {{"camera", id}, {"level", message.level}, {"text", text}, {"source", "module"}};
            m_events.PublishLog(line.dump());
        } catch (const std::exception& error) {
            ReportEscaped("message log", error.what());
        }
    });
    // The label and user come from the command line, in whatever bytes it
    // was given; what is not UTF-8 is shown as U+FFFD rather than thrown.
    m_events.PublishState("camera", id, Describe().dump(-1, ' ', false, json::error_handler_t::replace));
    PublishSettings();
    PublishStatus("starting");
    m_worker = std::thread([this] { Run(); });
    return true;
}

void ConsoleCamera::Stop() {
    {
        brevane::MutexLock lock(m_mutex);
        m_stopping = true;
    }
    m_stopFlag.store(true);
    m_wake.notify_all();
    if (m_worker.joinable()) {
        m_worker.join();
    }
    if (m_probeThread.joinable()) {
        m_probeThread.join();
    }
    m_pictures.Shutdown();
}

json ConsoleCamera::Submit(Task task) {
    std::packaged_task<json()> packaged(std::move(task));
    std::future<json> answer = packaged.get_future();
    {
        brevane::MutexLock lock(m_mutex);
        if (m_stopping) {
            return Refused("the console is stopping");
        }
        m_tasks.push_back(std::move(packaged));
    }
    m_wake.notify_all();
    if (answer.wait_for(kCommandTimeout) != std::future_status::ready) {
        return Refused("the camera did not answer in time");
    }
    try {
        return answer.get();
    } catch (const std::future_error&) {
        return Refused("the console is stopping");  // dropped unrun at the stop
    } catch (const std::exception& error) {
        ReportEscaped("a command", error.what());
        return Refused(std::string("the command failed: ") + error.what());
    }
}

json ConsoleCamera::Command(const std::string& verb, const json& body) {
    if (verb == "ptz") {
        return Submit([this, body] { return Ptz(body); });
    }
    if (verb == "preset") {
        return Submit([this, body] { return Preset(body); });
    }
    if (verb == "output") {
        return Submit([this, body] { return Output(body); });
    }
    if (verb == "stream") {
        return Submit([this, body] { return Stream(body); });
    }
    if (verb == "probe") {
        return Submit([this] {
            if (m_probing.load()) {
                return Refused("a query is running already");
            }
            StartProbe();
            return json{{"ok", true}};
        });
    }
    return Refused("unknown command \"" + verb + "\"");
}

void ConsoleCamera::Guarded(const char* what, const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception& error) {
        ReportEscaped(what, error.what());
        NoteFailure(std::string("the console failed in ") + what + " and goes on: " + error.what());
    }
}

void ConsoleCamera::Run() {
    // The first query tells how many inputs and outputs to describe to the
    // driver when they were not given.
    Guarded("the capability query", [this] { Probe(); });
    m_probing.store(false);
    Guarded("opening the driver", [this] { OpenDriver(); });
    m_lastSample = Clock::now();
    brevane::UniqueMutexLock lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_until(lock.Native(), m_lastSample + kStatusPeriod,
                          [this]() REQUIRES(m_mutex) { return m_stopping || !m_tasks.empty(); });
        while (!m_stopping && !m_tasks.empty()) {
            std::packaged_task<json()> task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();  // what it throws goes to the waiting Submit
            lock.lock();
        }
        if (!m_stopping && Clock::now() - m_lastSample >= kStatusPeriod) {
            lock.unlock();
            Guarded("the status", [this] { SampleStatus(); });
            if (Clock::now() - m_lastSample >= kStatusPeriod) {
                m_lastSample = Clock::now();  // a failed sample is not retried at once
            }
            lock.lock();
        }
    }
    // Commands still queued are answered by their broken promise.
    m_tasks.clear();
    lock.unlock();
    Guarded("closing the driver", [this] { CloseDriver(); });
    m_host.Release();
    Guarded("the status", [this] { PublishStatus("closed"); });
}

bool ConsoleCamera::OpenDriver() {
    host::OpenParameters& parameters = m_host.Parameters();
    {
        brevane::MutexLock lock(m_mutex);
        parameters.device.inputCount = m_inputCount;
        parameters.device.outputCount = m_outputCount;
        if (!m_model.empty()) {
            parameters.device.modelName = m_model;
        }
        m_outputs.assign(std::min(m_outputCount, kMaxPorts), 0);
    }
    parameters.connection.streamType = m_setup.stream.mpeg ? 2 : 1;
    parameters.device.channelCount = 1;
    parameters.SetCustomParameter(1, m_setup.ntsc ? "1" : "0");
    if (!m_host.Open()) {
        NoteFailure("Open failed");
        PublishStatus("offline");
        return false;
    }
    m_open = true;
    m_video = m_host.Driver().GetVideoCapture();
    m_io = m_host.Driver().GetCaptureIO();
    brevane::IIPPTZDriver* ptz = m_host.Driver().GetPTZDriver();
    m_ptz = ptz != nullptr ? ptz->GetPTZApi(0) : nullptr;
    if (m_io != nullptr) {
        m_ioSink->Reset(Ports(m_io->GetInputCount()));
        m_io->SetEventSink(m_ioSink.get());
        if (!m_io->Start()) {
            NoteFailure("the digital I/O did not start");
        }
    }
    PublishIo();
    PublishPresets();
    StartChannel();
    return true;
}

void ConsoleCamera::CloseDriver() {
    StopChannel();
    if (m_io != nullptr) {
        m_io->Stop();
    }
    if (m_open) {
        m_host.Driver().Close();
    }
    m_open = false;
    m_video = nullptr;
    m_io = nullptr;
    m_ptz = nullptr;
}

bool ConsoleCamera::StartChannel() {
    if (m_video == nullptr) {
        NoteFailure("the driver has no video capture");
        return false;
    }
    host::StreamSettings settings;
    settings.format.resolution = host::Resolution(m_setup.stream.width, m_setup.stream.height);
    settings.encoding.frameIntervalMs = static_cast<std::uint16_t>(1000 / m_setup.stream.fps);
    settings.encoding.quality = m_setup.stream.quality;
    m_receiver->ResetPreview();
    m_channelRunning = m_video->StartChannel(0, m_receiver.get(), &settings);
    if (!m_channelRunning) {
        NoteFailure("StartChannel failed");
    }
    SampleStatus();
    return m_channelRunning;
}

void ConsoleCamera::StopChannel() {
    if (m_video != nullptr && m_channelRunning) {
        m_video->StopChannel(0);
    }
    m_channelRunning = false;
}

void ConsoleCamera::SampleStatus() {
    const char* state = "offline";
    if (m_open && m_video != nullptr) {
        std::int32_t channel = -1;
        std::int32_t detail = 0;
        state = m_channelRunning && m_video->GetChannelStatus(0, &channel, &detail, nullptr, 0)
                    ? ChannelStateName(channel)
                    : "stopped";
    }
    PublishStatus(state);
    if (m_host.Messages().Count() > kMaxKeptMessages) {
        m_host.Messages().Clear();
    }
}

void ConsoleCamera::PublishStatus(const char* state) {
    const Clock::time_point now = Clock::now();
    const std::uint64_t frames = m_receiver->frames.load();
    const std::uint64_t bytes = m_receiver->bytes.load();
    double fps = 0;
    double kbps = 0;
    const double seconds = std::chrono::duration<double>(now - m_lastSample).count();
    if (m_lastSample != Clock::time_point{} && seconds > 0.05) {
        fps = static_cast<double>(frames - m_lastFrames) / seconds;
        kbps = static_cast<double>(bytes - m_lastBytes) / 1024.0 / seconds;
    }
    m_lastSample = now;
    m_lastFrames = frames;
    m_lastBytes = bytes;
    std::string failure;
    {
        brevane::MutexLock lock(m_mutex);
        failure = m_lastFailure;
    }
    json status = {{"camera", m_setup.id},
                   {"state", state},
                   {"fps", std::round(fps * 10) / 10},
                   {"kBps", std::round(kbps * 10) / 10},
                   {"frames", frames},
                   {"signalLosses", m_receiver->signalLost.load()},
                   {"width", m_receiver->width.load()},
                   {"height", m_receiver->height.load()},
                   {"lastFailure", failure}};
    m_events.PublishState("status", m_setup.id, status.dump());
}

void ConsoleCamera::PublishIo() {
    bool failed = false;
    const std::vector<std::int32_t> inputs = m_ioSink->Inputs(failed);
    json io = {{"camera", m_setup.id}, {"inputs", inputs}, {"failure", failed}};
    {
        brevane::MutexLock lock(m_mutex);
        io["outputs"] = m_outputs;
    }
    m_events.PublishState("io", m_setup.id, io.dump());
}

void ConsoleCamera::PublishPresets() {
    json presets = {{"camera", m_setup.id}, {"available", m_ptz != nullptr}, {"names", json::array()}};
    if (m_ptz != nullptr) {
        char buffer[1024];
        const std::int32_t count = m_ptz->GetPrepositionCount();
        for (std::int32_t i = 0; i < count; ++i) {
            if (m_ptz->GetPrepositionName(i, buffer, sizeof(buffer)) == brevane::PTZ_OK) {
                presets["names"].push_back(FromModule(buffer));
            }
        }
        presets["current"] = m_ptz->GetCurrentPreposition(buffer, sizeof(buffer)) == brevane::PTZ_OK
                                 ? FromModule(buffer)
                                 : std::string();
    }
    m_events.PublishState("presets", m_setup.id, presets.dump());
}

void ConsoleCamera::PublishSettings() {
    json settings = m_setup.stream.ToJson();
    settings["camera"] = m_setup.id;
    m_events.PublishState("settings", m_setup.id, settings.dump());
}

json ConsoleCamera::Ptz(const json& body) {
    if (m_ptz == nullptr) {
        return Refused("this camera has no PTZ (see the message log)");
    }
    const std::string action = Text(body, "action");
    const std::string way = Text(body, "way");
    long speed = 8;
    if (body.contains("speed") && !Member(body, "speed", 1, 16, speed)) {
        return Refused("speed must be a whole number from 1 to 16");
    }
    const auto s = static_cast<std::int32_t>(speed);
    if (action == "move") {
        const int direction = Direction(Text(body, "direction"));
        if (direction < 0) {
            return Refused("unknown direction");
        }
        return PtzAnswer(m_ptz->StartMove(direction, s));
    }
    if (action == "stop") {
        return PtzAnswer(m_ptz->StopAll());
    }
    if (action == "zoom" && (way == "in" || way == "out")) {
        return PtzAnswer(way == "in" ? m_ptz->ZoomIn(s) : m_ptz->ZoomOut(s));
    }
    if (action == "focus" && (way == "near" || way == "far")) {
        return PtzAnswer(way == "near" ? m_ptz->FocusNear(s) : m_ptz->FocusFar(s));
    }
    if (action == "iris" && (way == "open" || way == "close")) {
        return PtzAnswer(way == "open" ? m_ptz->IrisOpen(s) : m_ptz->IrisClose(s));
    }
    return Refused("unknown PTZ action");
}

json ConsoleCamera::Preset(const json& body) {
    if (m_ptz == nullptr) {
        return Refused("this camera has no PTZ (see the message log)");
    }
    const std::string action = Text(body, "action");
    const std::string name = Text(body, "name");
    // The module takes C strings in its narrow encoding: a NUL would cut the
    // name short, and a character outside that encoding has no byte there.
    std::string narrow;
    if (!ToModule(name, narrow)) {
        return Refused("a preset name may hold no NUL and only characters of ISO-8859-1");
    }
    if (narrow.empty() || narrow.size() > 255) {
        return Refused("a preset needs a name of 1 to 255 characters");
    }
    std::int32_t status = 0;
    if (action == "add") {
        status = m_ptz->AddPreposition(narrow.c_str());
    } else if (action == "goto") {
        status = m_ptz->GotoPreposition(0, narrow.c_str());
    } else if (action == "remove") {
        status = m_ptz->RemovePreposition(narrow.c_str());
    } else {
        return Refused("preset action must be add, goto or remove");
    }
    if (status != brevane::PTZ_OK) {
        NoteFailure("preset " + action + " \"" + name + "\": " + PtzStatusName(status));
    }
    PublishPresets();
    return PtzAnswer(status);
}

json ConsoleCamera::Output(const json& body) {
    long output = 0;
    const auto on = body.find("on");
    std::uint32_t count = 0;
    {
        brevane::MutexLock lock(m_mutex);
        count = static_cast<std::uint32_t>(m_outputs.size());
    }
    if (count == 0 || !Member(body, "output", 0, static_cast<long>(count) - 1, output) || on == body.end() ||
        !on->is_boolean()) {
        return Refused("expected {\"output\": 0 ... " + std::to_string(count) + " - 1, \"on\": true|false}");
    }
    if (m_io == nullptr) {
        return Refused("the driver has no digital I/O");
    }
    const bool value = on->get<bool>();
    const bool queued = m_io->SetOutput(static_cast<std::int32_t>(output),
                                        value ? brevane::ipcapture::kIoStateHigh : brevane::ipcapture::kIoStateLow);
    if (queued) {
        brevane::MutexLock lock(m_mutex);
        m_outputs[static_cast<std::size_t>(output)] = value ? 1 : 0;
    } else {
        NoteFailure("output " + std::to_string(output) + " refused");
    }
    PublishIo();
    return {{"ok", queued}};
}

json ConsoleCamera::Stream(const json& body) {
    StreamChoice next = m_setup.stream;
    std::string error;
    if (!next.Update(body, error)) {
        return Refused(error);
    }
    const bool reopen = next.mpeg != m_setup.stream.mpeg;
    m_setup.stream = next;
    PublishSettings();
    if (reopen) {
        // The stream type is one of the open parameters: the driver is opened
        // again (its I/O and PTZ with it).
        CloseDriver();
        return {{"ok", OpenDriver() && m_channelRunning}};
    }
    StopChannel();
    return {{"ok", StartChannel()}};
}

void ConsoleCamera::StartProbe() {
    if (m_probeThread.joinable()) {
        m_probeThread.join();
    }
    m_probing.store(true);
    m_probeThread = std::thread([this] {
        Guarded("the capability query", [this] { Probe(); });
        m_probing.store(false);
    });
}

void ConsoleCamera::Probe() {
    m_probing.store(true);
    const int id = m_setup.id;
    m_events.PublishState("caps", id, json{{"camera", id}, {"outcome", "running"}}.dump());
    host::CapabilityQueryCallback callback;
    host::CapabilitySink sink;
    const host::ModuleExports& module = m_queryModule.Exports();
    const cli::CameraOptions& camera = m_setup.camera;
    json caps = {{"camera", id}};
    brevane::ipcapture::IIPCapabilityQuery* query = module.CreateCapabilityQueryModule(&callback, 0);
    if (query == nullptr) {
        caps["outcome"] = "refused";
    } else {
        if (query->Start(camera.host.c_str(), camera.port, camera.user.c_str(), camera.password.c_str(), &sink) != 1) {
            caps["outcome"] = "refused";
        } else {
            // Waits in small steps so that Ctrl-C is not held up.
            const Clock::time_point deadline = Clock::now() + kQueryTimeout;
            while (!m_stopFlag.load() && Clock::now() < deadline &&
                   callback.WaitForOutcome(std::chrono::milliseconds(100)) == host::QueryOutcome::None) {
            }
        }
        module.DeleteCapabilityQueryModule(query);
        if (!caps.contains("outcome")) {
            caps["outcome"] = host::QueryOutcomeText(callback.Outcome());
        }
    }
    if (callback.Outcome() == host::QueryOutcome::Succeeded) {
        const auto capabilities = sink.Capabilities();
        auto capability = [&](std::int32_t key) {
            const auto found = capabilities.find(key);
            return found != capabilities.end() ? found->second : 0;
        };
        caps["model"] = FromModule(sink.ModelName());
        caps["standard"] = "";
        for (const auto& parameter : sink.Parameters()) {
            if (parameter.name == "Video standard") {
                caps["standard"] =
                    parameter.value == "1" ? "NTSC" : parameter.value == "0" ? "PAL" : FromModule(parameter.value);
            }
        }
        json resolutions = json::array();
        for (const auto& resolution : sink.Resolutions()) {
            resolutions.push_back({{"name", FromModule(resolution.name)},
                                   {"width", resolution.width},
                                   {"height", resolution.height},
                                   {"frameIntervalMs", resolution.frameIntervalMs}});
        }
        caps["resolutions"] = resolutions;
        caps["frameIntervalsMs"] = sink.FrameIntervals();
        caps["audio"] = capability(4) != 0;
        caps["inputs"] = capability(2);
        caps["outputs"] = capability(3);
        brevane::MutexLock lock(m_mutex);
        m_model = sink.ModelName();
        if (m_inputCount == 0) {
            m_inputCount = Ports(m_setup.inputs != 0 ? std::int64_t{m_setup.inputs} : std::int64_t{capability(2)});
        }
        if (m_outputCount == 0) {
            m_outputCount = Ports(m_setup.outputs != 0 ? std::int64_t{m_setup.outputs} : std::int64_t{capability(3)});
        }
    } else {
        caps["errorCode"] = callback.ErrorCode();
        const std::string message = FromModule(callback.Message());
        caps["message"] = Redact(message);
        NoteFailure("capability query " + caps["outcome"].get<std::string>() +
                    (message.empty() ? std::string() : ": " + message));
        brevane::MutexLock lock(m_mutex);
        if (m_inputCount == 0) {
            m_inputCount = Ports(m_setup.inputs);
        }
        if (m_outputCount == 0) {
            m_outputCount = Ports(m_setup.outputs);
        }
    }
    m_events.PublishState("caps", id, caps.dump());
    m_probing.store(false);
}

}  // namespace darvik::console
