// The page's commands on a console camera: the stream settings it may
// choose, and the PTZ, preset, output and stream commands, each checked and
// answered as {"ok": ...} JSON.
//
// Command runs on the server's connection threads and hands each command to
// the worker through Submit; Ptz, Preset, Output and Stream run on the
// worker. StreamChoice is a plain value.
#include <functional>
#include <string>

#include "console/ConsoleCamera.h"
#include "console/ConsoleCameraParts.h"
#include "darvik/IIPPTZ.h"
#include "kit/Vocabulary.h"

namespace darvik::console {

using nlohmann::json;

namespace {

json PtzAnswer(std::int32_t status) {
    return {{"ok", status == brevane::PTZ_OK}, {"status", host::PtzStatusName(status)}, {"code", status}};
}

// The direction pad's names: pan and tilt only (zooming has its own action).
int Direction(const std::string& name) {
    const auto code = host::DirectionCode(name);
    return code && *code < host::kPanTiltDirections ? *code : -1;
}

// A whole number member of a JSON object within [low, high].
bool Member(const json& body, const char* name, long low, long high, long& value) {
    const auto found = body.find(name);
    if (found == body.end() || !found->is_number_integer()) {
        return false;
    }
    value = found->get<long>();
    return value >= low && value <= high;
}

std::string Text(const json& body, const char* name) {
    const auto found = body.find(name);
    return found != body.end() && found->is_string() ? found->get<std::string>() : std::string();
}

}  // namespace

json StreamChoice::ToJson() const {
    return {{"stream", mpeg ? "mpeg" : "mjpeg"}, {"width", width}, {"height", height}, {"fps", fps},
            {"quality", quality}};
}

bool StreamChoice::Update(const json& body, std::string& error) {
    StreamChoice next = *this;
    if (body.contains("stream")) {
        const std::string stream = Text(body, "stream");
        if (stream != "mjpeg" && stream != "mpeg") {
            error = "stream must be mjpeg or mpeg";
            return false;
        }
        next.mpeg = stream == "mpeg";
    }
    long value = 0;
    struct Field {
        const char* name;
        long low;
        long high;
        std::function<void(long)> set;
    };
    const Field fields[] = {
        {"width", 16, 4096, [&](long v) { next.width = static_cast<std::uint16_t>(v); }},
        {"height", 16, 4096, [&](long v) { next.height = static_cast<std::uint16_t>(v); }},
        {"fps", 1, 60, [&](long v) { next.fps = static_cast<std::uint32_t>(v); }},
        {"quality", 0, 100, [&](long v) { next.quality = static_cast<std::uint16_t>(v); }},
    };
    for (const Field& field : fields) {
        if (!body.contains(field.name)) {
            continue;
        }
        if (!Member(body, field.name, field.low, field.high, value)) {
            error = std::string(field.name) + " must be a whole number from " + std::to_string(field.low) + " to " +
                    std::to_string(field.high);
            return false;
        }
        field.set(value);
    }
    *this = next;
    return true;
}

json ConsoleCamera::Command(const std::string& verb, const json& body) {
    if (verb == "ptz") {
        return Submit([this, body] { return Ptz(body); });
    }
    if (verb == "preset") {
        return Submit([this, body] { return Preset(body); });
    }
    if (verb == "output") {
        return Submit([this, body] { return Output(body); });
    }
    if (verb == "stream") {
        return Submit([this, body] { return Stream(body); });
    }
    if (verb == "probe") {
        return Submit([this] {
            if (m_probing.load()) {
                return Refused("a query is running already");
            }
            StartProbe();
            return json{{"ok", true}};
        });
    }
    return Refused("unknown command \"" + verb + "\"");
}

json ConsoleCamera::Ptz(const json& body) {
    if (m_ptz == nullptr) {
        return Refused("this camera has no PTZ (see the message log)");
    }
    const std::string action = Text(body, "action");
    const std::string way = Text(body, "way");
    long speed = 8;
    if (body.contains("speed") && !Member(body, "speed", 1, 16, speed)) {
        return Refused("speed must be a whole number from 1 to 16");
    }
    const auto s = static_cast<std::int32_t>(speed);
    if (action == "move") {
        const int direction = Direction(Text(body, "direction"));
        if (direction < 0) {
            return Refused("unknown direction");
        }
        return PtzAnswer(m_ptz->StartMove(direction, s));
    }
    if (action == "stop") {
        return PtzAnswer(m_ptz->StopAll());
    }
    if (action == "zoom" && (way == "in" || way == "out")) {
        return PtzAnswer(way == "in" ? m_ptz->ZoomIn(s) : m_ptz->ZoomOut(s));
    }
    if (action == "focus" && (way == "near" || way == "far")) {
        return PtzAnswer(way == "near" ? m_ptz->FocusNear(s) : m_ptz->FocusFar(s));
    }
    if (action == "iris" && (way == "open" || way == "close")) {
        return PtzAnswer(way == "open" ? m_ptz->IrisOpen(s) : m_ptz->IrisClose(s));
    }
    return Refused("unknown PTZ action");
}

json ConsoleCamera::Preset(const json& body) {
    if (m_ptz == nullptr) {
        return Refused("this camera has no PTZ (see the message log)");
    }
    const std::string action = Text(body, "action");
    const std::string name = Text(body, "name");
    // The module takes C strings in its narrow encoding: a NUL would cut the
    // name short, and a character outside that encoding has no byte there.
    std::string narrow;
    if (!ToModule(name, narrow)) {
        return Refused("a preset name may hold no NUL and only characters of ISO-8859-1");
    }
    if (narrow.empty() || narrow.size() > 255) {
        return Refused("a preset needs a name of 1 to 255 characters");
    }
    std::int32_t status = 0;
    if (action == "add") {
        status = m_ptz->AddPreposition(narrow.c_str());
    } else if (action == "goto") {
        status = m_ptz->GotoPreposition(0, narrow.c_str());
    } else if (action == "remove") {
        status = m_ptz->RemovePreposition(narrow.c_str());
    } else {
        return Refused("preset action must be add, goto or remove");
    }
    if (status != brevane::PTZ_OK) {
        NoteFailure("preset " + action + " \"" + name + "\": " + host::PtzStatusName(status));
    }
    PublishPresets();
    return PtzAnswer(status);
}

json ConsoleCamera::Output(const json& body) {
    long output = 0;
    const auto on = body.find("on");
    std::uint32_t count = 0;
    {
        brevane::MutexLock lock(m_mutex);
        count = static_cast<std::uint32_t>(m_outputs.size());
    }
    if (count == 0 || !Member(body, "output", 0, static_cast<long>(count) - 1, output) || on == body.end() ||
        !on->is_boolean()) {
        return Refused("expected {\"output\": 0 ... " + std::to_string(count) + " - 1, \"on\": true|false}");
    }
    if (m_io == nullptr) {
        return Refused("the driver has no digital I/O");
    }
    const bool value = on->get<bool>();
    const bool queued = m_io->SetOutput(static_cast<std::int32_t>(output),
                                        value ? brevane::ipcapture::kIoStateHigh : brevane::ipcapture::kIoStateLow);
    if (queued) {
        brevane::MutexLock lock(m_mutex);
        m_outputs[static_cast<std::size_t>(output)] = value ? 1 : 0;
    } else {
        NoteFailure("output " + std::to_string(output) + " refused");
    }
    PublishIo();
    return {{"ok", queued}};
}

json ConsoleCamera::Stream(const json& body) {
    StreamChoice next = m_setup.stream;
    std::string error;
    if (!next.Update(body, error)) {
        return Refused(error);
    }
    const bool reopen = next.mpeg != m_setup.stream.mpeg;
    m_setup.stream = next;
    PublishSettings();
    if (reopen) {
        // The stream type is one of the open parameters: the driver is opened
        // again (its I/O and PTZ with it).
        CloseDriver();
        return {{"ok", OpenDriver() && m_channelRunning}};
    }
    StopChannel();
    return {{"ok", StartChannel()}};
}

}  // namespace darvik::console
