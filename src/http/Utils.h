// brevane::Utils: the one way the module sends a CGI request to the camera
// (SendRequestEx) and the failure-report throttle, with the text helpers of
// core/Text.h (GetParameter, ParseInt, Format) under the same namespace.
// CResultDef is the outcome of one request inside SendRequestEx.
//
// Stateless functions, callable from any thread; the only shared state is the
// report counter of the message sink, which ShouldReport updates atomically.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Text.h"

class IDebugMessage;

namespace Web {
class CHttpClient;
}

namespace brevane {

// Result codes of one CGI request.
inline constexpr std::int32_t RESULT_OK = 0;
// No response arrived, or its status was outside 200..299.
inline constexpr std::int32_t RESULT_REQUEST_FAILED = 6;
// A 2xx response arrived with an empty, cut-off or oversized body.
inline constexpr std::int32_t RESULT_EMPTY_RESPONSE = 10;

class CResultDef {
   public:
    explicit CResultDef(const std::string& message = std::string());
    virtual ~CResultDef() = default;

    // Records a failure: level 1, the code and the finished message text.
    void Fail(std::int32_t code, std::string message);

    // Hands the message to the sink as a finished line (a '%' in it is
    // printed as it stands) when there is a message, a sink, and the
    // throttle lets it through.
    void Report(IDebugMessage* sink) const;

    std::int32_t m_level;
    std::int32_t m_code;
    std::string m_message;
};

namespace Utils {

// Longest reply body SendRequestEx accepts. Replies are a few lines of text;
// a longer body is an incorrect response and is not read further, so one
// request never holds more than this (plus the terminating zero) in memory.
inline constexpr std::uint32_t kMaxReplySize = 1024u * 1024u;
// SendRequestEx gives up on an exchange this many client time-outs after it
// began, however steadily the reply arrives, and reports it as an incorrect
// response.
inline constexpr std::uint32_t kExchangeTimeoutFactor = 3;

// Sends `path` as a GET with `client`, requires a 2xx status and a non-empty
// body of at most kMaxReplySize bytes, and leaves the body followed by one
// zero byte in `response`. On
// failure reports a fixed line to `sink` (null: nothing is reported) as the
// throttle allows. True exactly when the request succeeded.
bool SendRequestEx(const std::string& path, std::vector<std::uint8_t>& response,
                   Web::CHttpClient& client, IDebugMessage* sink);

// Advances the sink's report counter and says whether this failure line may
// go out: the first 14, then every 16th up to 240, every 256th up to 3840,
// then every 4096th; the counter folds from 65535 back to 4095.
bool ShouldReport(IDebugMessage* sink);

// Reply parsing and formatting live in core/Text.h; the request code and
// its callers reach them under these names as well.
using Text::Format;
using Text::FormatV;
using Text::GetParameter;
using Text::ParseInt;

}  // namespace Utils
}  // namespace brevane
