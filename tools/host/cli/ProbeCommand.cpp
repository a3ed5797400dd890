// darvik-host probe: asks a camera (or the simulator) what it is through the
// capability-query exports, once through a module object
// (CreateCapabilityQueryModule) and once through the single instance
// (InitCapabilityQuery ... UninitCapabilityQuery), and prints the findings of
// the first with how the second compared, as text or as one JSON object.
#include <chrono>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <CLI/CLI.hpp>

#include "cli/Cli.h"
#include "cli/SimulateOptions.h"
#include "kit/CameraOptions.h"
#include "kit/CapabilityQueryCallback.h"
#include "kit/CapabilitySink.h"
#include "kit/ModuleLoader.h"
#include "kit/ProbeResult.h"

namespace darvik::cli {
namespace {

struct ProbeOptions {
    host::CameraOptions camera;
    SimulateOptions sim;
    bool json = false;
    std::uint32_t waitSeconds = 30;
};

// One query through the module object (singleInstance false) or the single
// instance. The callback and sink outlive the module, which may still call
// OnQueryAborted while it is destroyed.
host::ProbeResult Query(const host::ModuleExports& module, const ProbeOptions& options, bool singleInstance) {
    host::ProbeResult result;
    host::CapabilityQueryCallback callback;
    host::CapabilitySink sink;
    const host::CameraOptions& camera = options.camera;
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
    host::CollectProbe(callback, sink, result);
    return result;
}

nlohmann::ordered_json ResultJson(const host::ProbeResult& result, const host::ProbeResult& single, const ProbeOptions& options,
                          const camsim::Simulator* simulator) {
    nlohmann::ordered_json json = host::ProbeOutcomeJson(result);
    json["camera"] = {{"address", options.camera.host}, {"port", options.camera.port}};
    if (result.Succeeded()) {
        json.update(host::ProbeFindingsJson(result));
    }
    nlohmann::ordered_json singleJson = host::ProbeOutcomeJson(single);
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

void PrintOutcome(std::ostream& out, const host::ProbeResult& result) {
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

void PrintText(std::ostream& out, const host::ProbeResult& result, const host::ProbeResult& single,
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
        out << "audio: " << (result.Capability(host::kCapabilityAudio) != 0 ? "yes" : "no") << "\n";
        out << "alarm inputs: " << result.Capability(host::kCapabilityAlarmInputs) << "\n";
        out << "alarm outputs: " << result.Capability(host::kCapabilityAlarmOutputs) << "\n";
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
    if (options.sim.Simulate()) {
        if (!StartSimulator(options.sim, 0, options.camera, simulator, error)) {
            std::cerr << "darvik-host probe: simulator: " << error << "\n";
            return kExitFailed;
        }
        if (!options.json) {
            std::cout << "simulator: " << DescribeSimulator(*simulator) << "\n";
        }
    } else if (!host::Resolve(options.camera, error)) {
        std::cerr << "darvik-host probe: " << error << "\n";
        return kExitFailed;
    }
    host::ModuleLoader loader;
    if (!LoadModule(context, loader)) {
        return kExitModuleError;
    }
    const host::ProbeResult result = Query(loader.Exports(), options, false);
    const host::ProbeResult single = Query(loader.Exports(), options, true);
    if (options.json) {
        // The module's text is converted on its way into the JSON; what the
        // command line gave (the simulator's product id) is taken as it
        // came, with any byte that is not UTF-8 shown as U+FFFD.
        std::cout << ResultJson(result, single, options, simulator.get())
                         .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                  << "\n";
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
