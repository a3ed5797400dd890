// Configuration, fault settings and the records the camera simulator reports
// through its control interface. Plain value types: callers own their copies;
// the simulator copies what it is given and hands out copies.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "streams/StreamSource.h"

namespace darvik::camsim {

enum class AuthMode {
    None,
    Basic,
    Digest,
    BasicAndDigest,  // one 401 carrying both challenges; either answer is accepted
    // One 401 carrying a Negotiate (or NTLM) challenge before the Digest one;
    // only Digest is accepted, as from a client without a Kerberos ticket
    // (or an NTLM exchange the simulator does not carry out).
    NegotiateAndDigest,
    NtlmAndDigest,
    DigestSha256,        // SHA-256 only
    DigestSha256AndMd5,  // two challenges, SHA-256 first; either answer is accepted
    DigestMd5Sess,       // MD5-sess
    DigestUserhash,      // SHA-256 with userhash=true: the user name is sent hashed
};

// Scheme of the Authorization header of a received request.
enum class AuthScheme { None, Basic, Digest, Other };

// How get replies write their numeric values, so that readers meet values
// that compare or parse differently from the plain decimal text.
enum class ValuePadding { None, LeadingZeros, LeadingBlanks };

// A request whose target begins with `prefix` is answered with `status` and
// `body` (the body is sent as given and may be empty).
struct PathStatus {
    std::string prefix;
    unsigned status = 404;
    std::string body;
};

// Faults of the camera's HTTP side. Changeable while the simulator runs.
// Path prefixes are compared with the request target written with a leading
// "/" (so "/cgi-bin/get?mpg" also matches a target sent as "cgi-bin/get?mpg").
struct Faults {
    // Accept every connection and close it at once.
    bool refuseConnections = false;
    // Accept and close the next N connections, then serve normally; counts
    // down as connections are refused.
    std::uint32_t refuseFirstConnections = 0;
    // Read the request, then close the connection without any reply.
    bool resetRequests = false;
    // Fixed answers for given paths; the first matching prefix wins. Checked
    // after authentication.
    std::vector<PathStatus> pathStatus;
    // Wait this long before answering.
    std::uint32_t delayMs = 0;
    // Never answer while set; requests held back continue when it is cleared
    // and end without a reply when the simulator stops.
    bool stall = false;
    // Send only the first N bytes of a CGI reply body (the header announces
    // the full length), then close the connection.
    std::optional<std::uint32_t> cutAfterBytes;
    // The next N requests with right Digest credentials are answered 401
    // with a fresh nonce and stale=true, as after the nonce expired; counts
    // down as they are answered.
    std::uint32_t staleNonces = 0;
    // CGI reply bodies are sent one byte every N milliseconds (0: at once).
    std::uint32_t dripIntervalMs = 0;
    // CGI replies carry bytes that contain no "name:value" line.
    bool garbage = false;
    ValuePadding padding = ValuePadding::None;
    // Get replies give these names these values instead of their own; a
    // value may hold any bytes, a NUL included ("00-11-22\0-33-44-AB").
    std::map<std::string, std::string> values;
    // CGI replies are padded with filler name:value lines to this many body
    // bytes (0: not padded). The padding is made while it is sent, so a
    // reply of any size costs the simulator no memory.
    std::uint64_t padRepliesTo = 0;
    // When not empty, resetRequests, delayMs, stall, cutAfterBytes,
    // dripIntervalMs, garbage, padding, values and padRepliesTo apply only to targets beginning with
    // one of these prefixes.
    std::vector<std::string> onlyPaths;
};

// Alarm input `input` (0-based) toggles every `periodMs` milliseconds after
// the simulator starts.
struct InputToggle {
    std::uint32_t input = 0;
    std::uint32_t periodMs = 1000;
};

struct Config {
    std::uint16_t port = 0;          // 0: an ephemeral port
    std::uint16_t controlPort = 0;   // control interface; 0: an ephemeral port
    bool controlEnabled = true;      // serve the HTTP control interface at all
    // Camera connections served at once, each on a thread of its own; more
    // are closed at once. Enough for a host with a few thousand channels.
    std::uint32_t maxConnections = 4096;
    std::string productId = "034";   // s_prid
    bool ntsc = false;               // m_type "0" for NTSC, "1" for PAL
    std::uint32_t inputCount = 4;    // alarm inputs (s_ssta length, a_snum)
    // The count a_snum claims instead of inputCount, for a camera that lies
    // (2147483647); 0: inputCount. s_ssta keeps inputCount states.
    std::uint32_t claimedInputs = 0;
    std::uint32_t outputCount = 2;   // relay outputs (a_aoa1 ... a_aoaN)
    std::string macAddress = "00-11-22-33-44-AA";  // n_madr
    int audioType = 0;               // a_type; 0: no audio
    AuthMode auth = AuthMode::None;
    std::string user = "admin";
    std::string password = "admin";
    std::string realm = "Darvik Camera";
    // HTTPS when both are set: PEM files of the certificate and its key.
    std::string httpsCertFile;
    std::string httpsKeyFile;
    // 0: every stream (JPEG and MPEG-4) unpaced, each frame sent as soon as
    // the reader took the previous one.
    std::uint32_t jpegFramesPerSecond = 10;
    std::uint32_t keyFrameInterval = 25;
    // N > 0: each stream kind is encoded once as a cycle of N frames and
    // replayed from memory (0: every stream encodes live).
    std::uint32_t replayPictures = 0;
    std::vector<InputToggle> inputScript;
    Faults faults;
    StreamFaults streamFaults;
    // Makes the body of each stream request; empty: CreateStreamSource.
    // Called on the connection's thread.
    std::function<std::unique_ptr<StreamSource>(const StreamSettings&, std::string*)> streamFactory;
};

// A stream body given byte by byte, answered to every stream request instead
// of the encoded streams: sent in the given piece sizes (cycled; none: the
// body in one piece), each after delayMs, repeated or not, then closed,
// reset or stalled. Lets tests meet exact byte layouts, splits and stream
// faults.
struct StreamScript {
    std::vector<std::uint8_t> body;
    std::vector<std::size_t> pieceSizes;
    std::uint32_t delayMs = 5;
    bool repeat = true;      // start the body over at its end
    bool stallAtEnd = false; // when not repeating: stall instead of closing
    // When not repeating: abort the connection with a TCP reset instead of
    // closing it (stallAtEnd wins).
    bool resetAtEnd = false;
};

struct RequestLogEntry {
    std::string target;              // request target exactly as received
    AuthScheme auth = AuthScheme::None;
    unsigned status = 0;             // 0: no reply was sent (reset, stall, refused stream)
};

// An output write, in the order received. Outputs are numbered from 1, as
// in the camera's a_aoaN names.
struct OutputWrite {
    std::uint32_t output = 0;
    int value = 0;
};

struct MpegSettings {
    int mode = 0;       // m_mode
    int quality = 1250; // m_qual
    int frameRate = 1;  // m_fram (code)
    int resolution = 2; // m_resl (code)

    bool operator==(const MpegSettings&) const = default;
};

struct EncoderState {
    MpegSettings applied;  // what get?mpg reports and the streams use
    MpegSettings pending;  // set but not yet applied with r_appl=1
    int jpegQuality = 0;   // j_qual code: 0 high, 1 medium, 2 low
};

struct HeadPosition {
    double pan = 0.0;     // degrees, -180 ... 180 (positive: right)
    double tilt = 0.0;    // degrees, -90 ... 90 (positive: up)
    double zoom = 0.0;    // percent, 0 ... 100
    double focus = 50.0;  // percent, 0 (near) ... 100 (far)
    double iris = 50.0;   // percent, 0 (closed) ... 100 (open)
};

// One axis of the head: direction -1, 0 (still) or +1, and the speed of the
// command that started it.
struct AxisMotion {
    int direction = 0;
    int speed = 0;
    bool Active() const { return direction != 0; }
};

struct HeadState {
    HeadPosition position;
    AxisMotion pan;    // +1 right, -1 left
    AxisMotion tilt;   // +1 up, -1 down
    AxisMotion zoom;   // +1 in, -1 out
    AxisMotion focus;  // +1 far, -1 near
    AxisMotion iris;   // +1 open, -1 close
};

const char* ToString(AuthMode mode);
const char* ToString(AuthScheme scheme);
const char* ToString(ValuePadding padding);
bool ParseAuthMode(const std::string& text, AuthMode& mode);
bool ParseValuePadding(const std::string& text, ValuePadding& padding);

}  // namespace darvik::camsim
