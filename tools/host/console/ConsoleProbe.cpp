// The capability query of a console camera: asks the camera what it is
// through a module object of its own, publishes the findings (or why there
// are none) as the "caps" state, and keeps the model name and the input and
// output counts the driver is opened with.
//
// Probe runs on the worker for the first query and on the query thread
// StartProbe makes for a query the page asks for; the two never overlap
// (m_probing). What it keeps is guarded by m_mutex.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "console/ConsoleCamera.h"
#include "console/ConsoleCameraParts.h"
#include "kit/CapabilityQueryCallback.h"
#include "kit/CapabilitySink.h"
#include "kit/ProbeResult.h"

namespace darvik::console {

using nlohmann::json;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kQueryTimeout = std::chrono::seconds(15);

// One query through a module object. Waits in small steps so that a stop
// (Ctrl-C) is not held up. The callback and sink outlive the module, which
// may still call them while it is destroyed.
host::ProbeResult QueryCamera(const host::ModuleExports& module, const host::CameraOptions& camera,
                              const std::atomic<bool>& stop) {
    host::ProbeResult result;
    host::CapabilityQueryCallback callback;
    host::CapabilitySink sink;
    brevane::ipcapture::IIPCapabilityQuery* query = module.CreateCapabilityQueryModule(&callback, 0);
    if (query == nullptr) {
        return result;
    }
    result.started =
        query->Start(camera.host.c_str(), camera.port, camera.user.c_str(), camera.password.c_str(), &sink) == 1;
    if (result.started) {
        const Clock::time_point deadline = Clock::now() + kQueryTimeout;
        while (!stop.load() && Clock::now() < deadline &&
               callback.WaitForOutcome(std::chrono::milliseconds(100)) == host::QueryOutcome::None) {
        }
    }
    module.DeleteCapabilityQueryModule(query);
    host::CollectProbe(callback, sink, result);
    return result;
}

}  // namespace

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
    const host::ProbeResult result = QueryCamera(m_queryModule.Exports(), m_setup.camera, m_stopFlag);
    json caps = json(host::ProbeOutcomeJson(result));
    caps["camera"] = id;
    if (result.Succeeded()) {
        caps.update(json(host::ProbeFindingsJson(result)));
    } else {
        const std::string message = FromModule(result.message);
        caps["message"] = Redact(message);
        NoteFailure("capability query " + std::string(result.OutcomeText()) +
                    (message.empty() ? std::string() : ": " + message));
    }
    KeepFindings(result);
    m_events.PublishState("caps", id, caps.dump());
    m_probing.store(false);
}

void ConsoleCamera::KeepFindings(const host::ProbeResult& result) {
    // A count given on the command line wins; else a query that succeeded
    // tells it; else the driver is told none.
    auto count = [&](std::uint32_t given, std::int32_t capability) {
        const std::int64_t found = result.Succeeded() ? result.Capability(capability) : 0;
        return Ports(given != 0 ? std::int64_t{given} : found);
    };
    brevane::MutexLock lock(m_mutex);
    if (result.Succeeded()) {
        m_model = result.model;
    }
    if (m_inputCount == 0) {
        m_inputCount = count(m_setup.inputs, host::kCapabilityAlarmInputs);
    }
    if (m_outputCount == 0) {
        m_outputCount = count(m_setup.outputs, host::kCapabilityAlarmOutputs);
    }
}

}  // namespace darvik::console
