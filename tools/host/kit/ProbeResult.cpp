#include "kit/ProbeResult.h"

#include <tuple>

#include "kit/NarrowText.h"

namespace darvik::host {

std::int32_t ProbeResult::Capability(std::int32_t id) const {
    const auto found = capabilities.find(id);
    return found != capabilities.end() ? found->second : 0;
}

bool ProbeResult::SameFindings(const ProbeResult& other) const {
    auto key = [](const ProbeResult& r) {
        std::vector<std::string> names;
        for (const auto& resolution : r.resolutions) {
            names.push_back(resolution.name + "/" + std::to_string(resolution.frameIntervalMs));
        }
        return std::make_tuple(r.model, r.standard, names, r.frameIntervals, r.capabilities);
    };
    return key(*this) == key(other);
}

const char* ProbeResult::OutcomeText() const { return started ? QueryOutcomeText(outcome) : "refused"; }

void CollectProbe(const CapabilityQueryCallback& callback, const CapabilitySink& sink, ProbeResult& result) {
    result.outcome = callback.Outcome();
    if (result.outcome != QueryOutcome::None) {
        result.errorCode = callback.ErrorCode();
        result.message = callback.Message();
    }
    result.model = sink.ModelName();
    result.resolutions = sink.Resolutions();
    result.frameIntervals = sink.FrameIntervals();
    result.capabilities = sink.Capabilities();
    for (const auto& parameter : sink.Parameters()) {
        if (parameter.name == "Video standard") {
            result.standard = parameter.value == "1" ? "NTSC" : parameter.value == "0" ? "PAL" : parameter.value;
        }
    }
    for (std::int32_t index = 1; index <= 4; ++index) {
        result.connection[index - 1] = sink.ConnectionField(index);
    }
}

nlohmann::ordered_json ProbeOutcomeJson(const ProbeResult& result) {
    nlohmann::ordered_json json;
    json["outcome"] = result.OutcomeText();
    if (!result.Succeeded()) {
        json["errorCode"] = result.errorCode;
        json["message"] = NarrowToUtf8(result.message);
    }
    return json;
}

nlohmann::ordered_json ProbeFindingsJson(const ProbeResult& result) {
    nlohmann::ordered_json json;
    json["model"] = NarrowToUtf8(result.model);
    json["videoStandard"] = NarrowToUtf8(result.standard);
    nlohmann::ordered_json resolutions = nlohmann::ordered_json::array();
    for (const auto& resolution : result.resolutions) {
        resolutions.push_back({{"name", NarrowToUtf8(resolution.name)},
                               {"width", resolution.width},
                               {"height", resolution.height},
                               {"frameIntervalMs", resolution.frameIntervalMs}});
    }
    json["resolutions"] = resolutions;
    json["frameIntervalsMs"] = result.frameIntervals;
    json["audio"] = result.Capability(kCapabilityAudio) != 0;
    json["alarmInputs"] = result.Capability(kCapabilityAlarmInputs);
    json["alarmOutputs"] = result.Capability(kCapabilityAlarmOutputs);
    nlohmann::ordered_json capabilities = nlohmann::ordered_json::object();
    for (const auto& [id, value] : result.capabilities) {
        capabilities[std::to_string(id)] = value;
    }
    json["capabilities"] = capabilities;
    return json;
}

}  // namespace darvik::host
