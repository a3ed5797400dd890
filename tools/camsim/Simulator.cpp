#include "Simulator.h"

#include <microhttpd.h>

#include <algorithm>

#include "SimulatorImpl.h"

namespace darvik::camsim {

bool FaultApplies(const Faults& faults, const std::string& target) {
    if (faults.onlyPaths.empty()) {
        return true;
    }
    return std::any_of(faults.onlyPaths.begin(), faults.onlyPaths.end(),
                       [&](const std::string& prefix) { return target.starts_with(prefix); });
}

// ---- Impl -----------------------------------------------------------------

Simulator::Impl::Impl(Config cfg)
    : config(std::move(cfg)),
      model(config, Clock::now()),
      m_faults(config.faults),
      m_streamFaults(config.streamFaults),
      replay(config.replayPictures > 0 ? std::make_unique<ReplayLibrary>(config.replayPictures) : nullptr) {}

std::uint64_t Simulator::Impl::AppendLog(std::string target, AuthScheme auth) {
    brevane::MutexLock guard(m_lock);
    if (m_log.size() >= kMaxLogEntries) {
        m_log.pop_front();
        ++m_logBase;
    }
    m_log.push_back({std::move(target), auth, 0});
    return m_logBase + m_log.size() - 1;
}

void Simulator::Impl::SetLogStatus(std::uint64_t sequence, unsigned status) {
    brevane::MutexLock guard(m_lock);
    if (sequence >= m_logBase && sequence - m_logBase < m_log.size()) {
        m_log[sequence - m_logBase].status = status;
    }
}

bool Simulator::Impl::SleepUntil(Clock::time_point deadline) {
    brevane::UniqueMutexLock guard(m_lock);
    return !m_wake.wait_until(guard.Native(), deadline, [&]() REQUIRES(m_lock) { return m_stopping; });
}

bool Simulator::Impl::WaitWhileStalled(const std::string& target, const std::function<bool()>& abandoned) {
    brevane::UniqueMutexLock guard(m_lock);
    for (;;) {
        if (m_stopping) return false;
        if (!(m_faults.stall && FaultApplies(m_faults, target))) return true;
        m_wake.wait_for(guard.Native(), kPeerCheckInterval);
        if (!m_stopping && abandoned()) return false;
    }
}

void Simulator::Impl::WaitForStopOrAbandon(const std::function<bool()>& abandoned) {
    brevane::UniqueMutexLock guard(m_lock);
    while (!m_stopping) {
        m_wake.wait_for(guard.Native(), kPeerCheckInterval);
        if (!m_stopping && abandoned()) return;
    }
}

bool Simulator::Impl::Stopping() {
    brevane::MutexLock guard(m_lock);
    return m_stopping;
}

Faults Simulator::Impl::FaultsSnapshot() {
    brevane::MutexLock guard(m_lock);
    return m_faults;
}

StreamFaults Simulator::Impl::StreamFaultsSnapshot() {
    brevane::MutexLock guard(m_lock);
    return m_streamFaults;
}

std::optional<StreamScript> Simulator::Impl::ScriptSnapshot() {
    brevane::MutexLock guard(m_lock);
    return m_script;
}

bool Simulator::Impl::TakeStreamRefusal() {
    brevane::MutexLock guard(m_lock);
    if (m_streamFaults.refuseFirstConnections == 0) {
        return false;
    }
    --m_streamFaults.refuseFirstConnections;
    return true;
}

bool Simulator::Impl::TakeConnectionRefusal() {
    brevane::MutexLock guard(m_lock);
    if (m_faults.refuseConnections) {
        return true;
    }
    if (m_faults.refuseFirstConnections > 0) {
        --m_faults.refuseFirstConnections;
        return true;
    }
    return false;
}

bool Simulator::Impl::TakeStaleNonce() {
    brevane::MutexLock guard(m_lock);
    if (m_faults.staleNonces == 0) {
        return false;
    }
    --m_faults.staleNonces;
    return true;
}

// ---- Simulator ------------------------------------------------------------

Simulator::Simulator(Config config) : m_impl(std::make_unique<Impl>(std::move(config))) {}

Simulator::~Simulator() { Stop(); }

bool Simulator::Start(std::string* error) {
    if (IsRunning()) {
        if (error != nullptr) *error = "the simulator is already running";
        return false;
    }
    {
        brevane::MutexLock guard(m_impl->m_lock);
        m_impl->m_stopping = false;
    }
    if (!StartCameraServer(*m_impl, error)) {
        return false;
    }
    m_impl->model.SetHttpPort(m_impl->port);
    if (m_impl->config.controlEnabled && !StartControlServer(*this, *m_impl, error)) {
        Stop();
        return false;
    }
    return true;
}

void Simulator::Stop() {
    {
        brevane::MutexLock guard(m_impl->m_lock);
        m_impl->m_stopping = true;
    }
    m_impl->m_wake.notify_all();
    // MHD shuts every connection's socket down and joins its thread; the
    // waits above end at once, so the joins are quick.
    if (m_impl->controlDaemon != nullptr) {
        MHD_stop_daemon(m_impl->controlDaemon);
        m_impl->controlDaemon = nullptr;
        m_impl->controlPort = 0;
    }
    if (m_impl->daemon != nullptr) {
        MHD_stop_daemon(m_impl->daemon);
        m_impl->daemon = nullptr;
        m_impl->port = 0;
    }
}

bool Simulator::IsRunning() const { return m_impl->daemon != nullptr; }
std::uint16_t Simulator::Port() const { return m_impl->port; }
std::uint16_t Simulator::ControlPort() const { return m_impl->controlPort; }

std::string Simulator::Url() const {
    return std::string(m_impl->https ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_impl->port);
}

std::string Simulator::ControlUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_impl->controlPort) + "/control/";
}

const Config& Simulator::GetConfig() const { return m_impl->config; }

std::string Simulator::InputStatus() const { return m_impl->model.InputStatus(Impl::Clock::now()); }

bool Simulator::SetInput(std::uint32_t index, bool active) {
    return m_impl->model.SetInput(index, active, Impl::Clock::now());
}

bool Simulator::FlipInput(std::uint32_t index) { return m_impl->model.FlipInput(index, Impl::Clock::now()); }

std::vector<int> Simulator::Outputs() const { return m_impl->model.Outputs(); }
std::vector<OutputWrite> Simulator::OutputWrites() const { return m_impl->model.OutputWrites(); }
void Simulator::ClearOutputWrites() { m_impl->model.ClearOutputWrites(); }

Faults Simulator::GetFaults() const { return m_impl->FaultsSnapshot(); }

void Simulator::SetFaults(const Faults& faults) {
    {
        brevane::MutexLock guard(m_impl->m_lock);
        m_impl->m_faults = faults;
    }
    m_impl->m_wake.notify_all();
}

StreamFaults Simulator::GetStreamFaults() const { return m_impl->StreamFaultsSnapshot(); }

void Simulator::SetStreamFaults(const StreamFaults& faults) {
    brevane::MutexLock guard(m_impl->m_lock);
    m_impl->m_streamFaults = faults;
}

std::uint64_t Simulator::RefusedConnections() const { return m_impl->refusedConnections.load(); }

HeadState Simulator::Head() const { return m_impl->model.Head(Impl::Clock::now()); }
std::map<int, HeadPosition> Simulator::Presets() const { return m_impl->model.Presets(); }

std::vector<RequestLogEntry> Simulator::RequestLog() const {
    brevane::MutexLock guard(m_impl->m_lock);
    return {m_impl->m_log.begin(), m_impl->m_log.end()};
}

void Simulator::ClearRequestLog() {
    brevane::MutexLock guard(m_impl->m_lock);
    m_impl->m_logBase += m_impl->m_log.size();
    m_impl->m_log.clear();
}

EncoderState Simulator::Encoder() const { return m_impl->model.Encoder(); }
void Simulator::SetStreamScript(std::optional<StreamScript> script) {
    brevane::MutexLock guard(m_impl->m_lock);
    m_impl->m_script = std::move(script);
}

std::uint32_t Simulator::ActiveStreams() const { return m_impl->activeStreams.load(); }
std::uint64_t Simulator::StreamFramesProduced() const { return m_impl->streamFrames.load(); }

}  // namespace darvik::camsim
