// What one capability query reported, as the host tools keep it: collected
// from the callback and the sink once the query has ended, then written as
// JSON for `darvik-host probe --json` and the web console alike.
//
// A plain value: made and read by whichever thread ran the query.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "kit/CapabilityQueryCallback.h"
#include "kit/CapabilitySink.h"

namespace darvik::host {

// Capability ids the module passes to ICapabilitySink::SetCapability.
inline constexpr std::int32_t kCapabilityAlarmInputs = 2;
inline constexpr std::int32_t kCapabilityAlarmOutputs = 3;
inline constexpr std::int32_t kCapabilityAudio = 4;

struct ProbeResult {
    bool started = false;  // the module took the query (Start answered 1)
    QueryOutcome outcome = QueryOutcome::None;
    std::int32_t errorCode = 0;
    std::string message;   // the module's narrow text, or why it never started
    std::string model;     // the module's narrow text
    std::string standard;  // "PAL", "NTSC", what else was sent, or empty
    std::vector<CapabilityResolutionRecord> resolutions;
    std::vector<std::int32_t> frameIntervals;
    std::map<std::int32_t, std::int32_t> capabilities;
    std::string connection[4];

    bool Succeeded() const { return outcome == QueryOutcome::Succeeded; }
    // A capability's value; 0 when it was not sent.
    std::int32_t Capability(std::int32_t id) const;
    bool SameFindings(const ProbeResult& other) const;
    // "refused" when the query never started, else the outcome's text.
    const char* OutcomeText() const;
};

// Takes the outcome from the callback and the findings from the sink, after
// the query has ended (or been ended).
void CollectProbe(const CapabilityQueryCallback& callback, const CapabilitySink& sink, ProbeResult& result);

// {"outcome"} and, unless it succeeded, {"errorCode", "message"}.
nlohmann::ordered_json ProbeOutcomeJson(const ProbeResult& result);
// The findings of a query that succeeded: model, videoStandard, resolutions,
// frameIntervalsMs, audio, alarmInputs, alarmOutputs and every capability
// sent. The module's text is converted to UTF-8 on the way.
nlohmann::ordered_json ProbeFindingsJson(const ProbeResult& result);

}  // namespace darvik::host
