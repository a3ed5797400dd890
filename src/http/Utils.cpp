#include "http/Utils.h"

#include <algorithm>
#include <utility>

#include "core/DebugMessage.h"
#include "http/HttpClient.h"
#include "platform/Platform.h"

namespace brevane {

namespace {

constexpr const char* kSendRequestEx = "brevane::Utils::SendRequestEx";

constexpr int kLevelFailure = 1;
constexpr int kLevelState = 3;

// Reads the current response's body into `response`, directly and in pieces
// of at most one read chunk, stopping once kMaxReplySize bytes are held.
// The storage grows geometrically but never past the cap and the zero byte
// that follows the body. False when the body is longer than the cap or
// still arriving at `deadline` (monotonic ms); the rest is left unread.
bool ReadCappedReply(Web::CHttpClient& client, std::vector<std::uint8_t>& response,
                     std::uint64_t deadline) {
    constexpr std::size_t kLimit = Utils::kMaxReplySize;
    response.clear();
    const Web::RequestHandle handle = client.GetRequestHandle();
    std::uint32_t available = 0;
    while (Web::QueryDataAvailable(handle, &available) && available > 0) {
        // A reply that keeps trickling in never trips the idle time-out.
        if (platform::MonotonicMilliseconds() >= deadline) {
            return false;
        }
        const std::size_t size = response.size();
        if (size == kLimit) {
            return false;
        }
        const std::size_t chunk =
            std::min<std::size_t>({available, Web::CHttpClient::kReadAllChunk, kLimit - size});
        if (size + chunk + 1 > response.capacity()) {
            // Room for the zero byte as well, so appending it never doubles
            // the storage.
            response.reserve(std::min(std::max(response.capacity() * 2, size + chunk), kLimit) + 1);
        }
        response.resize(size + chunk);
        std::uint32_t read = 0;
        if (!Web::ReadData(handle, response.data() + size, static_cast<std::uint32_t>(chunk), &read)) {
            read = 0;
        }
        response.resize(size + read);
        if (read == 0) {
            break;
        }
    }
    return true;
}

}  // namespace

CResultDef::CResultDef(const std::string& message)
    : m_level(kLevelState), m_code(RESULT_OK), m_message(message) {}

void CResultDef::Fail(std::int32_t code, std::string message) {
    m_level = kLevelFailure;
    m_code = code;
    m_message = std::move(message);
}

void CResultDef::Report(IDebugMessage* sink) const {
    if (m_message.empty() || sink == nullptr || !Utils::ShouldReport(sink)) {
        return;
    }
    // The line is finished; passing it as an argument keeps any '%' in the
    // path or host from being read as a conversion.
    sink->DebugMessage(m_level, "%s", m_message.c_str());
}

namespace Utils {

bool SendRequestEx(const std::string& path, std::vector<std::uint8_t>& response,
                   Web::CHttpClient& client, IDebugMessage* sink) {
    CResultDef result;
    const std::string host =
        Format("host %s:%u", client.GetHost().c_str(), static_cast<unsigned>(client.GetPort()));
    response.clear();

    // The whole exchange, answer and body, gets a bound of its own: a camera
    // that drips its reply must not hold the caller for longer.
    // A client without a time-out gets no bound either.
    const auto total = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        std::uint64_t{kExchangeTimeoutFactor} * client.GetTimeout(), 0xFFFFFFFFu));
    const std::uint64_t deadline =
        total == 0 ? ~std::uint64_t{0} : platform::MonotonicMilliseconds() + total;
    const bool answered = client.Request("GET", path, total);
    const std::uint32_t statusCode = client.GetStatusCode();
    if (!answered) {
        result.Fail(RESULT_REQUEST_FAILED, Format("%s: can not send request \"%s\" to %s",
                                                  kSendRequestEx, path.c_str(), host.c_str()));
    } else if (statusCode / 100 != 2) {
        result.Fail(RESULT_REQUEST_FAILED,
                    Format("%s: %s sent does not process request \"%s\", status code = %d",
                           kSendRequestEx, host.c_str(), path.c_str(),
                           static_cast<int>(statusCode)));
    }

    if (result.m_code == RESULT_OK) {
        const bool withinCap = ReadCappedReply(client, response, deadline);
        // A reply broken off before its end (connection lost, time-out) is
        // as unusable as an empty one: a cut line would read as a wrong value.
        // One longer than any reply the camera makes, or one still arriving
        // at the deadline, is no reply either.
        const bool complete = withinCap && Web::GetResponseStats(client.GetRequestHandle()).complete;
        if (response.empty() || !complete) {
            result.Fail(RESULT_EMPTY_RESPONSE,
                        Format("%s: incorrect response for request \"%s\" from %s", kSendRequestEx,
                               path.c_str(), host.c_str()));
            response.clear();
        }
        if (!withinCap) {
            // Drop the response rather than leave its rest for a later read.
            client.CloseRequest();
        }
        // Callers use the data as a zero-terminated string.
        response.push_back(0);
    }

    if (result.m_code != RESULT_OK) {
        result.Report(sink);
    }
    return result.m_code == RESULT_OK;
}

bool ShouldReport(IDebugMessage* sink) {
    if (sink == nullptr) {
        return false;
    }
    // Several reporters share the counter; a compare-exchange keeps every
    // increment and makes the fold-back exact.
    std::uint32_t previous = sink->m_reportCounter.load();
    std::uint32_t count = 0;
    do {
        count = previous + 1;
        if (count >= 65535) {
            count = 4095;
        }
    } while (!sink->m_reportCounter.compare_exchange_weak(previous, count));

    if (count < 15) {
        return true;
    }
    if (count < 255) {
        return count % 16 == 0;
    }
    if (count < 4095) {
        return count % 256 == 0;
    }
    return count % 4096 == 0;
}

}  // namespace Utils
}  // namespace brevane
