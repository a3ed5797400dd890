// Simulator: an IP camera on 127.0.0.1 for tests, the host CLI, the demo and
// users without a camera. It answers the camera's CGI interface
// ("/cgi-bin/get?GROUP", "/cgi-bin/set?name=value[&...]") and its endless
// video streams over HTTP or HTTPS, with optional Basic and Digest
// authentication and injectable faults, and offers a control interface in C++
// (the methods below) and over HTTP (JSON under "/control/" on a port of its
// own, which faults never touch).
//
// The owner creates it and calls Start and Stop (or destroys it) from one
// thread at a time. Every other method is safe to call from any thread while
// requests are served; the server's connection threads call into it as well.
// Stop returns promptly even with stalled replies and endless streams open.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Config.h"

namespace darvik::camsim {

class Simulator {
   public:
    explicit Simulator(Config config = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Starts listening (camera and, when enabled, control). False with a
    // reason in *error when a port is taken, a PEM file is unreadable, the
    // configuration is inconsistent or the server cannot start.
    bool Start(std::string* error = nullptr);
    // Ends every open connection and stops listening. Safe to call twice.
    // The camera's state (presets, outputs, ...) stays; Start may follow.
    void Stop();
    bool IsRunning() const;

    std::uint16_t Port() const;          // camera port, 0 when not running
    std::uint16_t ControlPort() const;   // control port, 0 when not running or disabled
    std::string Url() const;             // "http://127.0.0.1:PORT" (or https)
    std::string ControlUrl() const;      // "http://127.0.0.1:PORT/control/"
    const Config& GetConfig() const;

    // Alarm inputs (0-based). The s_ssta text: one '0' or '1' per input.
    std::string InputStatus() const;
    bool SetInput(std::uint32_t index, bool active);
    bool FlipInput(std::uint32_t index);

    // Relay outputs: current values (index 0 is a_aoa1) and every write in
    // the order received (the most recent 10000).
    std::vector<int> Outputs() const;
    std::vector<OutputWrite> OutputWrites() const;
    void ClearOutputWrites();

    // Faults; a change applies to requests arriving afterwards and releases
    // replies stalled by a fault that was cleared.
    Faults GetFaults() const;
    void SetFaults(const Faults& faults);
    StreamFaults GetStreamFaults() const;
    void SetStreamFaults(const StreamFaults& faults);
    // Connections refused so far by refuseConnections/refuseFirstConnections.
    std::uint64_t RefusedConnections() const;

    // The PTZ head as it stands now, and the stored presets by number.
    HeadState Head() const;
    std::map<int, HeadPosition> Presets() const;

    // Camera requests received, in order (the most recent 100000), each with
    // the scheme of its Authorization header and the status answered.
    std::vector<RequestLogEntry> RequestLog() const;
    void ClearRequestLog();

    // Applied and pending MPEG settings and the JPEG quality code.
    EncoderState Encoder() const;

    // Stream requests arriving from now on are answered with the script
    // (nullopt: with the encoded streams again). Callable before Start.
    void SetStreamScript(std::optional<StreamScript> script);

    // Streams being served now, and frames produced by all streams so far.
    std::uint32_t ActiveStreams() const;
    std::uint64_t StreamFramesProduced() const;

    struct Impl;

   private:
    std::unique_ptr<Impl> m_impl;
};

}  // namespace darvik::camsim
