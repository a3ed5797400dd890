// darvik-host probe: asks a camera (or the simulator) what it is through the
// capability-query exports, once through a module object
// (CreateCapabilityQueryModule) and once through the single instance
// (InitCapabilityQuery ... UninitCapabilityQuery), and prints the findings of
// the first with how the second compared, as text or as one JSON object.
#include <chrono>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>
#include <CLI/CLI.hpp>

#include "cli/CameraOptions.h"
#include "cli/Cli.h"
#include "cli/SimulateOptions.h"
#include "kit/CapabilityQueryCallback.h"
#include "kit/CapabilitySink.h"
#include "kit/ModuleLoader.h"

namespace darvik::cli {
namespace {

struct ProbeOptions {
    CameraOptions camera;
    SimulateOptions sim;
    bool json = false;
    std::uint32_t waitSeconds = 30;
};

// What one query reported.
struct ProbeResult {
    host::QueryOutcome outcome = host::QueryOutcome::None;
    bool started = false;
    std::int32_t errorCode = 0;
    std::string message;
    std::string model;
    std::string standard;  // "PAL", "NTSC", or empty when not sent
    std::vector<host::CapabilityResolutionRecord> resolutions;
    std::vector<std::int32_t> frameIntervals;
    std::map<std::int32_t, std::int32_t> capabilities;
    std::string connection[4];

    bool Succeeded() const { return outcome == host::QueryOutcome::Succeeded; }
    bool SameFindings(const ProbeResult& other) const {
        auto key = [](const ProbeResult& r) {
            std::vector<std::string> names;
            for (const auto& resolution : r.resolutions) {
                names.push_back(resolution.name + "/" + std::to_string(resolution.frameIntervalMs));
            }
            return std::make_tuple(r.model, r.standard, names, r.frameIntervals, r.capabilities);
        };
        return key(*this) == key(other);
    }
};

std::int32_t Capability(const ProbeResult& result, std::int32_t id) {
    const auto found = result.capabilities.find(id);
    return found != result.capabilities.end() ? found->second : 0;
}

void Collect(const host::CapabilitySink& sink, ProbeResult& result) {
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

// One query through the module object (singleInstance false) or the single
// instance. The callback and sink outlive the module, which may still call
// OnQueryAborted while it is destroyed.
ProbeResult Query(const host::ModuleExports& module, const ProbeOptions& options, bool singleInstance) {
    ProbeResult result;
    host::CapabilityQueryCallback callback;
    host::CapabilitySink sink;
    const CameraOptions& camera = options.camera;
    brevane::ipcapture::IIPCapabilityQuery* object = nullptr;
    if (singleInstance) {
        if (module.InitCapabilityQuery(&callback, 0) != 1) {
            result.message = "InitCapabilityQuery refused: a single instance exists already";
            return result;
        }
        result.started = module.StartCapabilityQuery(camera.host.c_str(), camera.port, camera.user.c_str(),
                                                     camera.password.c_str(), &sink) == 1;
    } else {
        object = module.CreateCapabilityQueryModule(&callback, 0);
        if (object == nullptr) {
            result.message = "CreateCapabilityQueryModule returned null";
            return result;
        }
        result.started = object->Start(camera.host.c_str(), camera.port, camera.user.c_str(),
                                       camera.password.c_str(), &sink) == 1;
    }
    if (result.started) {
        callback.WaitForOutcome(std::chrono::seconds(options.waitSeconds));
    } else {
        result.message = "the query was refused at its start";
    }
    // Ends a query that has not reported (the host then hears an abort).
    if (singleInstance) {
        module.UninitCapabilityQuery();
    } else {
        module.DeleteCapabilityQueryModule(object);
    }
    result.outcome = callback.Outcome();
    if (result.outcome != host::QueryOutcome::None) {
        result.errorCode = callback.ErrorCode();
        result.message = callback.Message();
    }
    Collect(sink, result);
    return result;
}

nlohmann::ordered_json OutcomeJson(const ProbeResult& result) {
    nlohmann::ordered_json json;
    json["outcome"] = result.started ? host::QueryOutcomeText(result.outcome) : "refused";
    if (!result.Succeeded()) {
        json["errorCode"] = result.errorCode;
        json["message"] = result.message;
    }
    return json;
}

nlohmann::ordered_json ResultJson(const ProbeResult& result, const ProbeResult& single, const ProbeOptions& options,
                          const camsim::Simulator* simulator) {
    nlohmann::ordered_json json = OutcomeJson(result);
    json["camera"] = {{"address", options.camera.host}, {"port", options.camera.port}};
    if (result.Succeeded()) {
        json["model"] = result.model;
        json["videoStandard"] = result.standard;
        nlohmann::ordered_json resolutions = nlohmann::ordered_json::array();
        for (const auto& resolution : result.resolutions) {
            resolutions.push_back({{"name", resolution.name},
                                   {"width", resolution.width},
                                   {"height", resolution.height},
                                   {"frameIntervalMs", resolution.frameIntervalMs}});
        }
        json["resolutions"] = resolutions;
        json["frameIntervalsMs"] = result.frameIntervals;
        json["audio"] = Capability(result, 4) != 0;
        json["alarmInputs"] = Capability(result, 2);
        json["alarmOutputs"] = Capability(result, 3);
        nlohmann::ordered_json capabilities = nlohmann::ordered_json::object();
        for (const auto& [id, value] : result.capabilities) {
            capabilities[std::to_string(id)] = value;
        }
        json["capabilities"] = capabilities;
    }
    nlohmann::ordered_json singleJson = OutcomeJson(single);
    singleJson["sameFindings"] = single.SameFindings(result);
    json["singleInstance"] = singleJson;
    if (simulator != nullptr) {
        const camsim::Config& config = simulator->GetConfig();
        json["simulator"] = {{"productId", config.productId},
                             {"videoStandard", config.ntsc ? "NTSC" : "PAL"},
                             {"inputs", config.inputCount},
                             {"outputs", config.outputCount},
                             {"audioType", config.audioType},
                             {"auth", camsim::ToString(config.auth)}};
    }
    return json;
}

void PrintOutcome(std::ostream& out, const ProbeResult& result) {
    if (!result.started) {
        out << "REFUSED (" << result.message << ")";
    } else if (result.Succeeded()) {
        out << "succeeded";
    } else if (result.outcome == host::QueryOutcome::Failed) {
        out << "FAILED, code " << result.errorCode << ": " << result.message;
    } else {
        out << (result.outcome == host::QueryOutcome::Aborted ? "ABORTED" : "NO ANSWER");
    }
}

void PrintText(std::ostream& out, const ProbeResult& result, const ProbeResult& single,
               const ProbeOptions& options) {
    out << "probe " << options.camera.host << ":" << options.camera.port << " (module object): ";
    PrintOutcome(out, result);
    out << "\n";
    if (result.Succeeded()) {
        out << "model: " << result.model << "\n";
        out << "video standard: " << (result.standard.empty() ? "(not sent)" : result.standard) << "\n";
        out << "resolutions:\n";
        for (const auto& resolution : result.resolutions) {
            out << "  " << resolution.name << " (" << resolution.width << " x " << resolution.height
                << "), frame interval " << resolution.frameIntervalMs << " ms\n";
        }
        out << "frame intervals (ms):";
        for (const std::int32_t interval : result.frameIntervals) {
            out << " " << interval;
        }
        out << "\n";
        out << "audio: " << (Capability(result, 4) != 0 ? "yes" : "no") << "\n";
        out << "alarm inputs: " << Capability(result, 2) << "\n";
        out << "alarm outputs: " << Capability(result, 3) << "\n";
        out << "capabilities sent:";
        for (const auto& [id, value] : result.capabilities) {
            out << " " << id << "=" << value;
        }
        out << "\n";
    }
    out << "single-instance query: ";
    PrintOutcome(out, single);
    if (single.Succeeded() || result.Succeeded()) {
        out << (single.SameFindings(result) ? ", same findings" : ", DIFFERENT findings");
    }
    out << "\n";
}

int RunProbe(const CliContext& context, ProbeOptions& options) {
    std::string error;
    std::unique_ptr<camsim::Simulator> simulator;
    if (options.sim.simulate) {
        if (!StartSimulator(options.sim, options.camera, simulator, error)) {
            std::cerr << "darvik-host probe: simulator: " << error << "\n";
            return kExitFailed;
        }
        if (!options.json) {
            std::cout << DescribeSimulator(*simulator) << "\n";
        }
    } else if (!Resolve(options.camera, error)) {
        std::cerr << "darvik-host probe: " << error << "\n";
        return kExitFailed;
    }
    host::ModuleLoader loader;
    if (!LoadModule(context, loader)) {
        return kExitModuleError;
    }
    const ProbeResult result = Query(loader.Exports(), options, false);
    const ProbeResult single = Query(loader.Exports(), options, true);
    if (options.json) {
        std::cout << ResultJson(result, single, options, simulator.get()).dump(2) << "\n";
    } else {
        PrintText(std::cout, result, single, options);
    }
    return result.Succeeded() && single.Succeeded() ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterProbeCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ProbeOptions>();
    CLI::App* command = app.add_subcommand(
        "probe", "Ask a camera what it is through the capability-query exports and print the findings");
    AddCameraOptions(*command, options->camera);
    AddSimulateOptions(*command, options->sim);
    command->add_flag("--json", options->json, "Print the findings as one JSON object");
    command->add_option("--wait", options->waitSeconds, "Seconds to wait for each query's answer")
        ->check(CLI::Range(1, 3600))
        ->capture_default_str();
    command->callback([&context, options] { context.exitCode = RunProbe(context, *options); });
}

}  // namespace darvik::cli
