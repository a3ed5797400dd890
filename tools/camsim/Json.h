// JSON forms of the simulator's configuration, faults, stream scripts and
// records. The control interface and the farm write and read them; the
// Windows Simulator, a client of the farm, writes configurations and reads
// the replies back. Free functions on value types, callable from any thread.
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

#include "Config.h"

namespace darvik::camsim {

using Json = nlohmann::json;

// A value of the wrong kind or range, or an unknown field, with a readable
// reason.
struct BadField : std::runtime_error {
    using std::runtime_error::runtime_error;
};

Json ToJson(const Faults& faults);
Json ToJson(const StreamFaults& faults);
Json ToJson(const MpegSettings& settings);   // {"m_mode", "m_qual", "m_fram", "m_resl"}
Json ToJson(const EncoderState& encoder);    // {"applied", "pending", "j_qual"}
Json ToJson(const HeadPosition& position);
Json ToJson(const HeadState& head);          // {"position", "motion": {"pan": {...}, ...}}
Json ToJson(const RequestLogEntry& entry);
Json ToJson(const StreamScript& script);     // the body as hexadecimal text
// Everything but streamFactory; the HTTPS settings as the file names given.
Json ToJson(const Config& config);

// Readers: change only the fields present in `json`; BadField otherwise.
void ApplyJson(const Json& json, Faults& faults);
void ApplyJson(const Json& json, StreamFaults& faults);
void ApplyJson(const Json& json, StreamScript& script);
void ApplyJson(const Json& json, Config& config);

// Readers of the records as ToJson writes them; nlohmann's exceptions for
// anything else.
MpegSettings MpegSettingsFromJson(const Json& json);
EncoderState EncoderFromJson(const Json& json);
HeadPosition HeadPositionFromJson(const Json& json);
HeadState HeadFromJson(const Json& json);
RequestLogEntry LogEntryFromJson(const Json& json);

// JSON text of a value: request targets are whatever clients sent, so bytes
// that are not UTF-8 are replaced rather than failing the whole text.
std::string Dump(const Json& json);

// The fault settings as JSON text, and back. The Apply functions change only
// the fields present in `json`; false with a reason when the text is not a
// JSON object of known fields with values of the right kind.
std::string FaultsToJson(const Faults& faults);
bool ApplyFaultsJson(std::string_view json, Faults& faults, std::string* error);
std::string StreamFaultsToJson(const StreamFaults& faults);
bool ApplyStreamFaultsJson(std::string_view json, StreamFaults& faults, std::string* error);

bool ParseAuthScheme(const std::string& text, AuthScheme& scheme);

}  // namespace darvik::camsim
