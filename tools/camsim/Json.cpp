#include "Json.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace darvik::camsim {

const char* ToString(AuthMode mode) {
    switch (mode) {
        case AuthMode::None: return "none";
        case AuthMode::Basic: return "basic";
        case AuthMode::Digest: return "digest";
        case AuthMode::BasicAndDigest: return "basic+digest";
        case AuthMode::NegotiateAndDigest: return "negotiate+digest";
        case AuthMode::NtlmAndDigest: return "ntlm+digest";
        case AuthMode::DigestSha256: return "digest-sha256";
        case AuthMode::DigestSha256AndMd5: return "digest-sha256+md5";
        case AuthMode::DigestMd5Sess: return "digest-md5-sess";
        case AuthMode::DigestUserhash: return "digest-userhash";
    }
    return "none";
}

const char* ToString(AuthScheme scheme) {
    switch (scheme) {
        case AuthScheme::None: return "none";
        case AuthScheme::Basic: return "Basic";
        case AuthScheme::Digest: return "Digest";
        case AuthScheme::Other: return "other";
    }
    return "none";
}

const char* ToString(ValuePadding padding) {
    switch (padding) {
        case ValuePadding::None: return "none";
        case ValuePadding::LeadingZeros: return "zeros";
        case ValuePadding::LeadingBlanks: return "blanks";
    }
    return "none";
}

bool ParseAuthMode(const std::string& text, AuthMode& mode) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "none") mode = AuthMode::None;
    else if (lower == "basic") mode = AuthMode::Basic;
    else if (lower == "digest") mode = AuthMode::Digest;
    else if (lower == "basic+digest" || lower == "both") mode = AuthMode::BasicAndDigest;
    else if (lower == "negotiate+digest") mode = AuthMode::NegotiateAndDigest;
    else if (lower == "ntlm+digest") mode = AuthMode::NtlmAndDigest;
    else if (lower == "digest-sha256") mode = AuthMode::DigestSha256;
    else if (lower == "digest-sha256+md5") mode = AuthMode::DigestSha256AndMd5;
    else if (lower == "digest-md5-sess") mode = AuthMode::DigestMd5Sess;
    else if (lower == "digest-userhash") mode = AuthMode::DigestUserhash;
    else return false;
    return true;
}

bool ParseAuthScheme(const std::string& text, AuthScheme& scheme) {
    for (AuthScheme candidate : {AuthScheme::None, AuthScheme::Basic, AuthScheme::Digest, AuthScheme::Other}) {
        if (text == ToString(candidate)) {
            scheme = candidate;
            return true;
        }
    }
    return false;
}

bool ParseValuePadding(const std::string& text, ValuePadding& padding) {
    if (text == "none") padding = ValuePadding::None;
    else if (text == "zeros") padding = ValuePadding::LeadingZeros;
    else if (text == "blanks") padding = ValuePadding::LeadingBlanks;
    else return false;
    return true;
}

namespace {

template <typename T>
T Unsigned(const Json& value, const std::string& key) {
    if (!value.is_number_unsigned() || value.get<std::uint64_t>() > std::numeric_limits<T>::max()) {
        throw BadField("\"" + key + "\" needs a whole number from 0 to " +
                       std::to_string(std::numeric_limits<T>::max()));
    }
    return value.get<T>();
}

int Integer(const Json& value, const std::string& key) {
    if (!value.is_number_integer() || value.get<std::int64_t>() < std::numeric_limits<int>::min() ||
        value.get<std::int64_t>() > std::numeric_limits<int>::max()) {
        throw BadField("\"" + key + "\" needs a whole number");
    }
    return value.get<int>();
}

bool Bool(const Json& value, const std::string& key) {
    if (!value.is_boolean()) throw BadField("\"" + key + "\" needs true or false");
    return value.get<bool>();
}

std::string Text(const Json& value, const std::string& key) {
    if (!value.is_string()) throw BadField("\"" + key + "\" needs a string");
    return value.get<std::string>();
}

const Json& Object(const Json& value, const std::string& what) {
    if (!value.is_object()) throw BadField(what + " needs a JSON object");
    return value;
}

const Json& Array(const Json& value, const std::string& key) {
    if (!value.is_array()) throw BadField("\"" + key + "\" needs an array");
    return value;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

std::vector<std::uint8_t> Unhex(const std::string& text, const std::string& key) {
    auto digit = [&](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        throw BadField("\"" + key + "\" needs hexadecimal text");
    };
    if (text.size() % 2 != 0) throw BadField("\"" + key + "\" needs an even number of hexadecimal digits");
    std::vector<std::uint8_t> bytes(text.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(digit(text[2 * i]) * 16 + digit(text[2 * i + 1]));
    }
    return bytes;
}

void ApplyFault(Faults& f, const std::string& key, const Json& value) {
    if (key == "refuseConnections") {
        f.refuseConnections = Bool(value, key);
    } else if (key == "refuseFirstConnections") {
        f.refuseFirstConnections = Unsigned<std::uint32_t>(value, key);
    } else if (key == "resetRequests") {
        f.resetRequests = Bool(value, key);
    } else if (key == "pathStatus") {
        std::vector<PathStatus> list;
        for (const Json& item : Array(value, key)) {
            if (!item.is_object()) throw BadField("\"pathStatus\" entries are objects");
            PathStatus entry;
            for (const auto& [field, v] : item.items()) {
                if (field == "prefix") entry.prefix = Text(v, field);
                else if (field == "status") entry.status = Unsigned<unsigned>(v, field);
                else if (field == "body") entry.body = Text(v, field);
                else throw BadField("unknown field \"" + field + "\" in \"pathStatus\"");
            }
            if (entry.status < 100 || entry.status > 999) throw BadField("a status lies from 100 to 999");
            list.push_back(entry);
        }
        f.pathStatus = std::move(list);
    } else if (key == "delayMs") {
        f.delayMs = Unsigned<std::uint32_t>(value, key);
    } else if (key == "stall") {
        f.stall = Bool(value, key);
    } else if (key == "cutAfterBytes") {
        if (value.is_null()) f.cutAfterBytes.reset();
        else f.cutAfterBytes = Unsigned<std::uint32_t>(value, key);
    } else if (key == "staleNonces") {
        f.staleNonces = Unsigned<std::uint32_t>(value, key);
    } else if (key == "dripIntervalMs") {
        f.dripIntervalMs = Unsigned<std::uint32_t>(value, key);
    } else if (key == "garbage") {
        f.garbage = Bool(value, key);
    } else if (key == "padding") {
        if (!ParseValuePadding(Text(value, key), f.padding)) {
            throw BadField("\"padding\" is \"none\", \"zeros\" or \"blanks\"");
        }
    } else if (key == "values") {
        std::map<std::string, std::string> values;
        for (const auto& [name, text] : Object(value, "\"values\"").items()) values[name] = Text(text, name);
        f.values = std::move(values);
    } else if (key == "padRepliesTo") {
        f.padRepliesTo = Unsigned<std::uint64_t>(value, key);
    } else if (key == "onlyPaths") {
        std::vector<std::string> paths;
        for (const Json& item : Array(value, key)) paths.push_back(Text(item, key));
        f.onlyPaths = std::move(paths);
    } else {
        throw BadField("unknown fault \"" + key + "\"");
    }
}

void ApplyStreamFault(StreamFaults& f, const std::string& key, const Json& value) {
    if (key == "stallAfterFrames") {
        f.stallAfterFrames = Unsigned<std::uint32_t>(value, key);
    } else if (key == "closeAfterFrames") {
        f.closeAfterFrames = Unsigned<std::uint32_t>(value, key);
    } else if (key == "closeAfterBytes") {
        f.closeAfterBytes = Unsigned<std::uint64_t>(value, key);
    } else if (key == "chunkSizes") {
        std::vector<std::uint32_t> sizes;
        for (const Json& item : Array(value, key)) {
            const auto size = Unsigned<std::uint32_t>(item, key);
            if (size == 0) throw BadField("\"chunkSizes\" entries are above 0");
            sizes.push_back(size);
        }
        f.chunkSizes = std::move(sizes);
    } else if (key == "garbageBetweenFrames") {
        f.garbageBetweenFrames = Bool(value, key);
    } else if (key == "wrongLengthEvery") {
        f.wrongLengthEvery = Unsigned<std::uint32_t>(value, key);
    } else if (key == "refuseFirstConnections") {
        f.refuseFirstConnections = Unsigned<std::uint32_t>(value, key);
    } else if (key == "exifThumbnails") {
        f.exifThumbnails = Bool(value, key);
    } else if (key == "unendedFrameBytes") {
        f.unendedFrameBytes = Unsigned<std::uint64_t>(value, key);
    } else {
        throw BadField("unknown stream fault \"" + key + "\"");
    }
}

void ApplyConfigField(Config& c, const std::string& key, const Json& value) {
    if (key == "port") c.port = Unsigned<std::uint16_t>(value, key);
    else if (key == "controlPort") c.controlPort = Unsigned<std::uint16_t>(value, key);
    else if (key == "controlEnabled") c.controlEnabled = Bool(value, key);
    else if (key == "productId") c.productId = Text(value, key);
    else if (key == "ntsc") c.ntsc = Bool(value, key);
    else if (key == "inputCount") c.inputCount = Unsigned<std::uint32_t>(value, key);
    else if (key == "claimedInputs") c.claimedInputs = Unsigned<std::uint32_t>(value, key);
    else if (key == "outputCount") c.outputCount = Unsigned<std::uint32_t>(value, key);
    else if (key == "macAddress") c.macAddress = Text(value, key);
    else if (key == "audioType") c.audioType = Integer(value, key);
    else if (key == "user") c.user = Text(value, key);
    else if (key == "password") c.password = Text(value, key);
    else if (key == "realm") c.realm = Text(value, key);
    else if (key == "httpsCertFile") c.httpsCertFile = Text(value, key);
    else if (key == "httpsKeyFile") c.httpsKeyFile = Text(value, key);
    else if (key == "jpegFramesPerSecond") c.jpegFramesPerSecond = Unsigned<std::uint32_t>(value, key);
    else if (key == "keyFrameInterval") c.keyFrameInterval = Unsigned<std::uint32_t>(value, key);
    else if (key == "replayPictures") c.replayPictures = Unsigned<std::uint32_t>(value, key);
    else if (key == "faults") ApplyJson(value, c.faults);
    else if (key == "streamFaults") ApplyJson(value, c.streamFaults);
    else if (key == "auth") {
        if (!ParseAuthMode(Text(value, key), c.auth)) {
            throw BadField("\"auth\" is \"none\", \"basic\", \"digest\", \"basic+digest\", "
                           "\"negotiate+digest\" or \"ntlm+digest\"");
        }
    } else if (key == "inputScript") {
        std::vector<InputToggle> script;
        for (const Json& item : Array(value, key)) {
            InputToggle toggle;
            for (const auto& [field, v] : Object(item, "an \"inputScript\" entry").items()) {
                if (field == "input") toggle.input = Unsigned<std::uint32_t>(v, field);
                else if (field == "periodMs") toggle.periodMs = Unsigned<std::uint32_t>(v, field);
                else throw BadField("unknown field \"" + field + "\" in \"inputScript\"");
            }
            script.push_back(toggle);
        }
        c.inputScript = std::move(script);
    } else {
        throw BadField("unknown setting \"" + key + "\"");
    }
}

template <typename T, typename ApplyField>
void ApplyFields(const Json& json, T& target, const std::string& what, ApplyField apply) {
    T next = target;
    for (const auto& [key, value] : Object(json, what).items()) {
        apply(next, key, value);
    }
    target = std::move(next);
}

template <typename T>
bool ApplyText(std::string_view text, T& target, std::string* error) {
    try {
        ApplyJson(Json::parse(text), target);
        return true;
    } catch (const std::exception& e) {
        if (error != nullptr) *error = e.what();
        return false;
    }
}

Json ToJson(const AxisMotion& m) { return {{"direction", m.direction}, {"speed", m.speed}}; }

AxisMotion AxisFromJson(const Json& json) {
    return {json.at("direction").get<int>(), json.at("speed").get<int>()};
}

}  // namespace

Json ToJson(const Faults& f) {
    Json pathStatus = Json::array();
    for (const PathStatus& p : f.pathStatus) {
        pathStatus.push_back({{"prefix", p.prefix}, {"status", p.status}, {"body", p.body}});
    }
    return {
        {"refuseConnections", f.refuseConnections},
        {"refuseFirstConnections", f.refuseFirstConnections},
        {"resetRequests", f.resetRequests},
        {"pathStatus", pathStatus},
        {"delayMs", f.delayMs},
        {"stall", f.stall},
        {"cutAfterBytes", f.cutAfterBytes ? Json(*f.cutAfterBytes) : Json(nullptr)},
        {"staleNonces", f.staleNonces},
        {"dripIntervalMs", f.dripIntervalMs},
        {"garbage", f.garbage},
        {"padding", ToString(f.padding)},
        {"values", f.values},
        {"padRepliesTo", f.padRepliesTo},
        {"onlyPaths", f.onlyPaths},
    };
}

Json ToJson(const StreamFaults& f) {
    return {
        {"stallAfterFrames", f.stallAfterFrames},
        {"closeAfterFrames", f.closeAfterFrames},
        {"closeAfterBytes", f.closeAfterBytes},
        {"chunkSizes", f.chunkSizes},
        {"garbageBetweenFrames", f.garbageBetweenFrames},
        {"wrongLengthEvery", f.wrongLengthEvery},
        {"refuseFirstConnections", f.refuseFirstConnections},
        {"exifThumbnails", f.exifThumbnails},
        {"unendedFrameBytes", f.unendedFrameBytes},
    };
}

Json ToJson(const MpegSettings& m) {
    return {{"m_mode", m.mode}, {"m_qual", m.quality}, {"m_fram", m.frameRate}, {"m_resl", m.resolution}};
}

Json ToJson(const EncoderState& e) {
    return {{"applied", ToJson(e.applied)}, {"pending", ToJson(e.pending)}, {"j_qual", e.jpegQuality}};
}

Json ToJson(const HeadPosition& p) {
    return {{"pan", p.pan}, {"tilt", p.tilt}, {"zoom", p.zoom}, {"focus", p.focus}, {"iris", p.iris}};
}

Json ToJson(const HeadState& head) {
    return {
        {"position", ToJson(head.position)},
        {"motion",
         {{"pan", ToJson(head.pan)},
          {"tilt", ToJson(head.tilt)},
          {"zoom", ToJson(head.zoom)},
          {"focus", ToJson(head.focus)},
          {"iris", ToJson(head.iris)}}},
    };
}

Json ToJson(const RequestLogEntry& e) {
    return {{"target", e.target}, {"auth", ToString(e.auth)}, {"status", e.status}};
}

Json ToJson(const StreamScript& s) {
    return {{"body", Hex(s.body)},
            {"pieceSizes", s.pieceSizes},
            {"delayMs", s.delayMs},
            {"repeat", s.repeat},
            {"stallAtEnd", s.stallAtEnd},
            {"resetAtEnd", s.resetAtEnd}};
}

Json ToJson(const Config& c) {
    Json toggles = Json::array();
    for (const InputToggle& t : c.inputScript) {
        toggles.push_back({{"input", t.input}, {"periodMs", t.periodMs}});
    }
    return {
        {"port", c.port},
        {"controlPort", c.controlPort},
        {"controlEnabled", c.controlEnabled},
        {"productId", c.productId},
        {"ntsc", c.ntsc},
        {"inputCount", c.inputCount},
        {"claimedInputs", c.claimedInputs},
        {"outputCount", c.outputCount},
        {"macAddress", c.macAddress},
        {"audioType", c.audioType},
        {"auth", ToString(c.auth)},
        {"user", c.user},
        {"password", c.password},
        {"realm", c.realm},
        {"httpsCertFile", c.httpsCertFile},
        {"httpsKeyFile", c.httpsKeyFile},
        {"jpegFramesPerSecond", c.jpegFramesPerSecond},
        {"keyFrameInterval", c.keyFrameInterval},
        {"replayPictures", c.replayPictures},
        {"inputScript", toggles},
        {"faults", ToJson(c.faults)},
        {"streamFaults", ToJson(c.streamFaults)},
    };
}

void ApplyJson(const Json& json, Faults& faults) { ApplyFields(json, faults, "the faults", ApplyFault); }

void ApplyJson(const Json& json, StreamFaults& faults) {
    ApplyFields(json, faults, "the stream faults", ApplyStreamFault);
}

void ApplyJson(const Json& json, Config& config) {
    ApplyFields(json, config, "the configuration", ApplyConfigField);
}

void ApplyJson(const Json& json, StreamScript& script) {
    ApplyFields(json, script, "the stream script", [](StreamScript& s, const std::string& key, const Json& value) {
        if (key == "body") {
            s.body = Unhex(Text(value, key), key);
        } else if (key == "pieceSizes") {
            s.pieceSizes.clear();
            for (const Json& item : Array(value, key)) {
                s.pieceSizes.push_back(Unsigned<std::uint32_t>(item, key));
                if (s.pieceSizes.back() == 0) throw BadField("\"pieceSizes\" entries are above 0");
            }
        } else if (key == "delayMs") {
            s.delayMs = Unsigned<std::uint32_t>(value, key);
        } else if (key == "repeat") {
            s.repeat = Bool(value, key);
        } else if (key == "stallAtEnd") {
            s.stallAtEnd = Bool(value, key);
        } else if (key == "resetAtEnd") {
            s.resetAtEnd = Bool(value, key);
        } else {
            throw BadField("unknown field \"" + key + "\" in the stream script");
        }
    });
}

MpegSettings MpegSettingsFromJson(const Json& json) {
    return {json.at("m_mode").get<int>(), json.at("m_qual").get<int>(), json.at("m_fram").get<int>(),
            json.at("m_resl").get<int>()};
}

EncoderState EncoderFromJson(const Json& json) {
    return {MpegSettingsFromJson(json.at("applied")), MpegSettingsFromJson(json.at("pending")),
            json.at("j_qual").get<int>()};
}

HeadPosition HeadPositionFromJson(const Json& json) {
    return {json.at("pan").get<double>(), json.at("tilt").get<double>(), json.at("zoom").get<double>(),
            json.at("focus").get<double>(), json.at("iris").get<double>()};
}

HeadState HeadFromJson(const Json& json) {
    const Json& motion = json.at("motion");
    return {HeadPositionFromJson(json.at("position")), AxisFromJson(motion.at("pan")),
            AxisFromJson(motion.at("tilt")),           AxisFromJson(motion.at("zoom")),
            AxisFromJson(motion.at("focus")),          AxisFromJson(motion.at("iris"))};
}

RequestLogEntry LogEntryFromJson(const Json& json) {
    RequestLogEntry entry{json.at("target").get<std::string>(), AuthScheme::Other, json.at("status").get<unsigned>()};
    ParseAuthScheme(json.at("auth").get<std::string>(), entry.auth);
    return entry;
}

std::string Dump(const Json& json) { return json.dump(2, ' ', false, Json::error_handler_t::replace); }

std::string FaultsToJson(const Faults& faults) { return Dump(ToJson(faults)); }
bool ApplyFaultsJson(std::string_view json, Faults& faults, std::string* error) {
    return ApplyText(json, faults, error);
}
std::string StreamFaultsToJson(const StreamFaults& faults) { return Dump(ToJson(faults)); }
bool ApplyStreamFaultsJson(std::string_view json, StreamFaults& faults, std::string* error) {
    return ApplyText(json, faults, error);
}

}  // namespace darvik::camsim
