// The worker of a console camera: the one thread that makes every driver
// call. It runs the first capability query, opens the driver, starts the
// digital I/O and channel 0, runs the page's commands in turn, samples the
// channel's state once a second and publishes what changed; at the stop it
// closes the driver.
//
// Run is the worker thread's body; everything else here runs on the worker,
// except PublishIo, which the I/O sink also calls on the module's threads.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <future>

#include "console/ConsoleCamera.h"
#include "console/ConsoleCameraParts.h"
#include "darvik/IIPPTZ.h"
#include "kit/StreamSettings.h"
#include "kit/Vocabulary.h"

namespace darvik::console {

using nlohmann::json;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStatusPeriod = std::chrono::seconds(1);
// The message sink keeps every line; the console relays them as they come
// and empties it now and then.
constexpr std::size_t kMaxKeptMessages = 256;

}  // namespace

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
        m_outputs.assign(m_outputCount, 0);  // capped by Ports
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
                    ? host::ChannelStateName(channel)
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

}  // namespace darvik::console
