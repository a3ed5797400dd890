// ConsoleCamera's life: making the driver, starting and stopping the worker,
// handing it the page's commands (Submit), and what the camera says about
// itself (Describe, failures, the message log relayed as it comes).
//
// Start and Stop run on the console command's thread; Submit on the
// server's connection threads; NoteFailure and the message observer on any
// thread, the module's included.
#include "console/ConsoleCamera.h"

#include <chrono>
#include <exception>
#include <future>

#include "console/ConsoleCameraParts.h"

namespace darvik::console {

using nlohmann::json;

namespace {

constexpr auto kCommandTimeout = std::chrono::seconds(20);

}  // namespace

ConsoleCamera::ConsoleCamera(std::string modulePath, CameraSetup setup, EventHub& events)
    : m_modulePath(std::move(modulePath)),
      m_setup(std::move(setup)),
      m_events(events),
      m_receiver(std::make_unique<Receiver>(m_pictures)),
      m_ioSink(std::make_unique<IoSink>(*this)) {}

ConsoleCamera::~ConsoleCamera() { Stop(); }

json ConsoleCamera::Describe() const {
    return {{"camera", m_setup.id},
            {"serial", m_setup.serial},
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
    if (m_host.Start(m_modulePath, m_setup.camera, error) != host::HostDriver::Started::kYes) {
        error = "camera " + std::to_string(m_setup.id) + ": " + error;
        return false;
    }
    if (!m_queryModule.Load(m_modulePath)) {
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

}  // namespace darvik::console
