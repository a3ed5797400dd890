// Simulator::Impl: the state behind the Simulator facade and the pieces its
// HTTP callbacks share (fault snapshots, stop-aware waits, request log).
// Internal to the simulator library.
//
// Owned by Simulator. The MHD connection threads and the facade's callers use
// it at once: everything mutable is guarded by m_lock, except the camera
// model (its own lock) and the atomic counters.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "CameraDigest.h"
#include "CameraModel.h"
#include "ControlServer.h"
#include "core/Mutex.h"
#include "Simulator.h"
#include "streams/ReplayStreamSource.h"

struct MHD_Connection;

namespace darvik::camsim {

struct Simulator::Impl {
    using Clock = std::chrono::steady_clock;

    static constexpr std::size_t kMaxLogEntries = 100000;
    // How often a held reply looks whether its client is still there, so
    // that clients giving up on a stall do not pile up connection threads.
    static constexpr std::chrono::milliseconds kPeerCheckInterval{100};

    explicit Impl(Config cfg);

    // Request log: append returns the entry's sequence number, by which its
    // status is filled in once answered.
    std::uint64_t AppendLog(std::string target, AuthScheme auth);
    void SetLogStatus(std::uint64_t sequence, unsigned status);

    // Waits until `deadline` or the stop; false when stopping.
    bool SleepUntil(Clock::time_point deadline);
    // Waits while the stall fault holds for `target`; false when stopping or
    // when `abandoned` says the client has gone.
    bool WaitWhileStalled(const std::string& target, const std::function<bool()>& abandoned);
    // Waits until the stop, or until `abandoned` says the client has gone.
    void WaitForStopOrAbandon(const std::function<bool()>& abandoned);
    bool Stopping();

    Faults FaultsSnapshot();
    StreamFaults StreamFaultsSnapshot();
    std::optional<StreamScript> ScriptSnapshot();
    // Takes one refusal of a stream request; true when this one is refused.
    bool TakeStreamRefusal();
    // Called for each accepted TCP connection; true when it is to be refused.
    bool TakeConnectionRefusal();
    // Takes one stale-nonce answer; true when this request gets one.
    bool TakeStaleNonce();

    const Config config;
    CameraModel model;

    brevane::Mutex m_lock;
    std::condition_variable m_wake;          // signalled on stop and on fault changes
    bool m_stopping GUARDED_BY(m_lock) = false;
    Faults m_faults GUARDED_BY(m_lock);
    StreamFaults m_streamFaults GUARDED_BY(m_lock);
    std::optional<StreamScript> m_script GUARDED_BY(m_lock);
    std::deque<RequestLogEntry> m_log GUARDED_BY(m_lock);
    std::uint64_t m_logBase GUARDED_BY(m_lock) = 0;  // sequence of m_log.front()

    // Written by Start and Stop only, while no connection thread runs.
    MHD_Daemon* daemon = nullptr;
    MHD_Daemon* controlDaemon = nullptr;
    JsonEndpoint control;  // served by controlDaemon
    std::uint16_t port = 0;
    std::uint16_t controlPort = 0;
    bool https = false;
    std::string certPem;
    std::string keyPem;
    std::string digestRandom;
    // The Digest variants libmicrohttpd does not check.
    server::CameraDigest ownDigest;

    // The replayed streams; null unless config.replayPictures is set.
    const std::unique_ptr<ReplayLibrary> replay;

    std::atomic<std::uint64_t> refusedConnections{0};
    std::atomic<std::uint32_t> activeStreams{0};
    std::atomic<std::uint64_t> streamFrames{0};
};

// Whether `target` (written with a leading "/") falls under the faults'
// onlyPaths filter.
bool FaultApplies(const Faults& faults, const std::string& target);

// The camera server's request handling (CameraServer.cpp).
bool StartCameraServer(Simulator::Impl& impl, std::string* error);
// The control server (ControlServer.cpp).
bool StartControlServer(Simulator& simulator, Simulator::Impl& impl, std::string* error);

}  // namespace darvik::camsim
