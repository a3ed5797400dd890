// darvik-camsim: runs the camera simulator until SIGINT or SIGTERM and
// prints where it listens (camera and control URLs), optionally every
// request it answers. With --farm it runs a farm instead: simulators made
// and driven on request through the JSON endpoint whose URL it prints.
#include <CLI/CLI.hpp>

#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <sstream>

#include "Farm.h"
#include "Simulator.h"

namespace {

using namespace darvik::camsim;

bool ParseStatus(const std::string& text, PathStatus& entry) {
    const std::size_t eq = text.rfind('=');
    if (eq == std::string::npos || eq == 0) {
        return false;
    }
    try {
        std::size_t used = 0;
        const unsigned long status = std::stoul(text.substr(eq + 1), &used);
        if (used != text.size() - eq - 1 || status < 100 || status > 999) {
            return false;
        }
        entry.prefix = text.substr(0, eq);
        entry.status = static_cast<unsigned>(status);
        entry.body = status / 100 == 2 ? "" : "Error\r\n";
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool ParseToggle(const std::string& text, InputToggle& toggle) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    try {
        std::size_t used = 0;
        const unsigned long input = std::stoul(text.substr(0, colon), &used);
        if (used != colon) return false;
        const std::string periodText = text.substr(colon + 1);
        const double seconds = std::stod(periodText, &used);
        if (used != periodText.size() || !(seconds >= 0.001) || seconds > 86400.0) return false;
        toggle.input = static_cast<std::uint32_t>(input);
        toggle.periodMs = static_cast<std::uint32_t>(seconds * 1000.0 + 0.5);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// NAME=TEXT, where "\\0" in TEXT stands for a NUL byte.
bool ParseValue(const std::string& text, std::string& name, std::string& value) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
        return false;
    }
    name = text.substr(0, equals);
    value.clear();
    for (std::size_t i = equals + 1; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '0') {
            value.push_back('\0');
            ++i;
        } else {
            value.push_back(text[i]);
        }
    }
    return true;
}

bool ParseChunks(const std::string& text, std::vector<std::uint32_t>& sizes) {
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        try {
            std::size_t used = 0;
            const unsigned long size = std::stoul(item, &used);
            if (used != item.size() || size == 0 || size > 0xFFFFFFFFul) return false;
            sizes.push_back(static_cast<std::uint32_t>(size));
        } catch (const std::exception&) {
            return false;
        }
    }
    return !sizes.empty();
}

// Whether standard input is a pipe or socket that has reached its end: the
// process that started the farm has gone. A terminal or /dev/null never
// counts, so a farm started by hand or in the background keeps running.
bool StdinClosed() {
    struct stat info {};
    if (fstat(STDIN_FILENO, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))) {
        return false;
    }
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    if (poll(&fd, 1, 0) <= 0) return false;
    if ((fd.revents & (POLLIN | POLLHUP)) == 0) return false;
    char buffer[256];
    return read(STDIN_FILENO, buffer, sizeof buffer) == 0;
}

// Runs a farm on 127.0.0.1:port until a signal in `signals` arrives or
// standard input ends.
int RunFarm(std::uint16_t port, const sigset_t& signals) {
    Farm farm;
    std::string error;
    if (!farm.Start(port, &error)) {
        std::cerr << "darvik-camsim: " << error << "\n";
        return 1;
    }
    std::cout << "Farm: " << farm.Url() << std::endl;
    for (;;) {
        timespec tick{0, 200 * 1000 * 1000};
        const int signal = sigtimedwait(&signals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM || StdinClosed()) break;
    }
    farm.Stop();
    std::cout << "Stopped." << std::endl;
    return 0;
}

// What the command line gives as text or flags, before it goes into the
// configuration.
struct CommandLine {
    std::string standard = "pal";
    std::string auth = "none";
    std::string padding = "none";
    std::vector<std::string> statuses;
    std::vector<std::string> toggles;
    std::vector<std::string> values;
    std::string chunks;
    std::uint32_t cut = 0;
    bool cutSet = false;
    bool verbose = false;
    bool farm = false;
};

void AddCameraOptions(CLI::App& app, Config& config, CommandLine& line) {
    app.set_config("--config", "", "Read options from an INI or TOML file");
    app.add_option("--port", config.port, "Camera port (0: ephemeral)");
    app.add_option("--control-port", config.controlPort, "Control interface port (0: ephemeral)");
    app.add_flag("!--no-control", config.controlEnabled, "Serve no control interface");
    app.add_option("--max-connections", config.maxConnections, "Camera connections served at once")
        ->check(CLI::Range(1, 65536))
        ->capture_default_str();
    app.add_option("--product-id", config.productId, "s_prid, e.g. 034");
    app.add_option("--standard", line.standard, "Video standard")->check(CLI::IsMember({"pal", "ntsc"}));
    app.add_option("--inputs", config.inputCount, "Alarm inputs")->check(CLI::Range(0, 256));
    app.add_option("--claimed-inputs", config.claimedInputs,
                   "a_snum claims this many inputs instead (e.g. 2147483647); s_ssta keeps --inputs");
    app.add_option("--outputs", config.outputCount, "Relay outputs")->check(CLI::Range(0, 256));
    app.add_option("--mac", config.macAddress, "n_madr, e.g. 00-11-22-33-44-AA");
    app.add_option("--audio", config.audioType, "a_type (0: no audio)");
    app.add_option("--auth", line.auth, "Authentication")
        ->check(CLI::IsMember({"none", "basic", "digest", "basic+digest", "both", "negotiate+digest", "ntlm+digest",
                               "digest-sha256", "digest-sha256+md5", "digest-md5-sess", "digest-userhash"}));
    app.add_option("--user", config.user, "User name");
    app.add_option("--password", config.password, "Password");
    app.add_option("--realm", config.realm, "Authentication realm");
    app.add_option("--https-cert", config.httpsCertFile, "PEM certificate: serve HTTPS")->check(CLI::ExistingFile);
    app.add_option("--https-key", config.httpsKeyFile, "PEM private key for --https-cert")->check(CLI::ExistingFile);
    app.add_option("--fps", config.jpegFramesPerSecond,
                   "JPEG stream frames per second; 0: every stream (MPEG-4 too) unpaced, as fast as it is read")
        ->check(CLI::Range(0, 60));
    app.add_option("--replay", config.replayPictures,
                   "Encode N pictures of each stream kind once and replay them in a loop (0: encode live)")
        ->check(CLI::Range(0, 10000));
    app.add_option("--key-frame-interval", config.keyFrameInterval, "MPEG-4 key frame every N frames")
        ->check(CLI::Range(1, 1000));
    app.add_option("--toggle", line.toggles, "INPUT:SECONDS - alarm input (from 0) toggles every SECONDS");
    app.add_flag("-v,--verbose", line.verbose, "Print every camera request as it is answered");
    app.add_flag("--farm", line.farm,
                 "Run a farm on --control-port instead: simulators created and driven through its JSON "
                 "endpoint (until a signal or the end of standard input)");
}

void AddFaultOptions(CLI::App& app, Config& config, CommandLine& line) {
    Faults& f = config.faults;
    auto* faults = app.add_option_group("Faults", "Faults of the camera's HTTP side");
    faults->add_flag("--refuse", f.refuseConnections, "Accept every connection and close it at once");
    faults->add_option("--refuse-first", f.refuseFirstConnections, "Refuse only the first N connections");
    faults->add_flag("--reset", f.resetRequests, "Close the connection without a reply");
    faults->add_option("--status", line.statuses, "PREFIX=CODE - answer targets beginning with PREFIX with CODE");
    faults->add_option("--delay", f.delayMs, "Delay every reply by MS milliseconds");
    faults->add_flag("--stall", f.stall, "Never answer (until cleared through the control interface)");
    faults->add_option("--cut", line.cut, "Close CGI replies after N body bytes")->each([&line](const std::string&) {
        line.cutSet = true;
    });
    faults->add_option("--stale-nonces", f.staleNonces,
                       "Answer the next N right Digest requests with a stale nonce");
    faults->add_option("--drip", f.dripIntervalMs, "Send CGI reply bodies one byte every MS milliseconds");
    faults->add_flag("--garbage", f.garbage, "CGI replies carry bytes without any name:value line");
    faults->add_option("--pad", line.padding, "Numeric values with leading zeros or blanks")
        ->check(CLI::IsMember({"none", "zeros", "blanks"}));
    faults->add_option("--value", line.values,
                       "NAME=TEXT - get replies give NAME this value (\\0 in TEXT: a NUL byte)");
    faults->add_option("--pad-reply", f.padRepliesTo, "Pad CGI replies with filler lines to N bytes");
    faults->add_option("--fault-path", f.onlyPaths,
                       "Apply reset, delay, stall, cut, drip, garbage, pad, value and pad-reply only to targets with "
                       "this prefix");

    StreamFaults& s = config.streamFaults;
    auto* streamFaults = app.add_option_group("Stream faults", "Faults of the video streams");
    streamFaults->add_option("--stream-stall-after", s.stallAfterFrames, "Stall after N frames");
    streamFaults->add_option("--stream-close-after-frames", s.closeAfterFrames, "Close after N frames");
    streamFaults->add_option("--stream-close-after-bytes", s.closeAfterBytes, "Close after N bytes");
    streamFaults->add_option("--stream-chunks", line.chunks, "Write in pieces of these sizes, e.g. 1,7,300");
    streamFaults->add_flag("--stream-garbage", s.garbageBetweenFrames, "Junk between parts or records");
    streamFaults->add_option("--stream-wrong-length-every", s.wrongLengthEvery,
                             "Every Nth MPEG record has a wrong length field");
    streamFaults->add_option("--stream-refuse-first", s.refuseFirstConnections,
                             "Refuse the first N stream requests");
    streamFaults->add_flag("--stream-exif", s.exifThumbnails, "JPEG pictures carry an EXIF thumbnail");
    streamFaults->add_option("--stream-unended-frame", s.unendedFrameBytes,
                             "Open the stream with a frame that never ends: a start and N bytes");
}

// Reads the texts of the command line into the configuration. False, with
// the reason printed, for a text that does not read.
bool ApplyCommandLine(const CommandLine& line, Config& config) {
    config.ntsc = line.standard == "ntsc";
    ParseAuthMode(line.auth, config.auth);
    ParseValuePadding(line.padding, config.faults.padding);
    if (line.cutSet) {
        config.faults.cutAfterBytes = line.cut;
    }
    for (const std::string& text : line.statuses) {
        PathStatus entry;
        if (!ParseStatus(text, entry)) {
            std::cerr << "darvik-camsim: --status wants PREFIX=CODE with a code from 100 to 999, not \"" << text
                      << "\"\n";
            return false;
        }
        config.faults.pathStatus.push_back(entry);
    }
    for (const std::string& text : line.values) {
        std::string name;
        std::string value;
        if (!ParseValue(text, name, value)) {
            std::cerr << "darvik-camsim: --value wants NAME=TEXT, not \"" << text << "\"\n";
            return false;
        }
        config.faults.values[name] = value;
    }
    for (const std::string& text : line.toggles) {
        InputToggle toggle;
        if (!ParseToggle(text, toggle)) {
            std::cerr << "darvik-camsim: --toggle wants INPUT:SECONDS, not \"" << text << "\"\n";
            return false;
        }
        config.inputScript.push_back(toggle);
    }
    if (!line.chunks.empty() && !ParseChunks(line.chunks, config.streamFaults.chunkSizes)) {
        std::cerr << "darvik-camsim: --stream-chunks wants sizes above 0 separated by commas\n";
        return false;
    }
    return true;
}

// Prints the requests answered since the last call (all of them after the
// log was cleared through the control interface).
void PrintNewRequests(const Simulator& simulator, std::size_t& printed) {
    const std::vector<RequestLogEntry> log = simulator.RequestLog();
    if (log.size() < printed) {
        printed = 0;
    }
    for (; printed < log.size(); ++printed) {
        const RequestLogEntry& entry = log[printed];
        std::cout << (entry.status == 0 ? std::string("---") : std::to_string(entry.status)) << " "
                  << entry.target << " (auth " << ToString(entry.auth) << ")\n";
    }
    std::cout.flush();
}

// Each connection holds a descriptor: a host with a thousand channels needs
// more than the usual soft limit of 1024, so take what the hard limit allows.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Runs one simulator until a signal in `signals` arrives.
int RunSimulator(const Config& config, bool verbose, const sigset_t& signals) {
    Simulator simulator(config);
    std::string error;
    if (!simulator.Start(&error)) {
        std::cerr << "darvik-camsim: " << error << "\n";
        return 1;
    }
    std::cout << "Camera:  " << simulator.Url() << "\n";
    if (simulator.ControlPort() != 0) {
        std::cout << "Control: " << simulator.ControlUrl() << "\n";
    }
    std::cout << "Product " << config.productId << ", " << (config.ntsc ? "NTSC" : "PAL") << ", "
              << config.inputCount << " inputs, " << config.outputCount << " outputs, auth "
              << ToString(config.auth) << ". Stop with Ctrl-C." << std::endl;

    std::size_t printed = 0;
    for (;;) {
        timespec tick{0, 200 * 1000 * 1000};
        const int signal = sigtimedwait(&signals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM) {
            break;
        }
        if (verbose) {
            PrintNewRequests(simulator, printed);
        }
    }
    simulator.Stop();
    std::cout << "Stopped." << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Config config;
    CommandLine line;
    CLI::App app{"Darvik IP camera simulator: the camera's CGI interface, video streams and faults on 127.0.0.1"};
    AddCameraOptions(app, config, line);
    AddFaultOptions(app, config, line);
    CLI11_PARSE(app, argc, argv);
    if (!ApplyCommandLine(line, config)) {
        return 2;
    }

    // Every thread the server starts inherits this mask, so the signals
    // reach only the waits of RunFarm and RunSimulator.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    RaiseDescriptorLimit();

    return line.farm ? RunFarm(config.controlPort, signals) : RunSimulator(config, line.verbose, signals);
}
