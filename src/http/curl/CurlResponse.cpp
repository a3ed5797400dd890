#include "http/curl/CurlResponse.h"

#include <algorithm>
#include <utility>

#include "http/AuthChallenge.h"
#include "http/HeaderParsing.h"
#include "http/curl/CurlFailure.h"
#include "http/curl/CurlSession.h"
#include "platform/Platform.h"

namespace Web {

namespace {

// libcurl hands the write callback at most this much at once, also when a
// paused transfer resumes; a paused transfer resumes only when this much fits.
constexpr std::uint32_t kLargestWrite = CURL_MAX_WRITE_SIZE;
static_assert(CCurlResponse::kBufferCapacity >= 2 * kLargestWrite);
static_assert(CCurlResponse::kBufferCapacity >= CCurlResponse::kSocketReadSize);

}  // namespace

CCurlResponse::CCurlResponse(std::shared_ptr<CCurlSession> session, std::uint32_t timeoutMs)
    : m_session(std::move(session)),
      m_timeoutMs(timeoutMs),
      m_lastActivity(brevane::platform::MonotonicMilliseconds()) {}

CCurlResponse::~CCurlResponse() {
    if (m_attached) {
        // Removing an unfinished transfer closes its connection; a finished
        // one already returned its connection to the shared cache.
        m_session->Detach(*this);
    } else if (m_easy != nullptr) {
        ReleaseEasy();
    }
    if (m_url != nullptr) {
        curl_url_cleanup(m_url);
    }
    if (m_headers != nullptr) {
        curl_slist_free_all(m_headers);
    }
}

void CCurlResponse::Touch() { m_lastActivity = brevane::platform::MonotonicMilliseconds(); }

// --- libcurl callbacks (on the driving thread) ---

int CCurlResponse::PrereqCallback(void* self, char*, char*, int, int) {
    auto* response = static_cast<CCurlResponse*>(self);
    response->m_connected = true;
    response->Touch();
    return CURL_PREREQFUNC_OK;
}

std::size_t CCurlResponse::HeaderCallback(char* data, std::size_t size, std::size_t count,
                                          void* self) {
    const std::size_t length = size * count;
    try {
        return static_cast<CCurlResponse*>(self)->OnHeaderLine(std::string_view(data, length))
                   ? length
                   : 0;
    } catch (...) {
        return 0;  // fails the transfer; nothing may unwind through libcurl
    }
}

std::size_t CCurlResponse::WriteCallback(char* data, std::size_t size, std::size_t count,
                                         void* self) {
    return static_cast<CCurlResponse*>(self)->OnBody(data, size * count);
}

bool CCurlResponse::OnHeaderLine(std::string_view line) {
    if (m_closed) {
        return false;
    }
    Touch();
    brevane::MutexLock lock(m_mutex);
    if (m_final) {
        return true;  // trailers after a chunked body
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
        // A new response: an interim one, or libcurl sent the request again
        // (its own authentication pass) and this is the answer.
        m_block = HeaderBlock{};
        m_block.status = ParseStatusLine(line);
        return true;
    }
    if (line.empty()) {
        m_block.ended = true;
        // 1xx responses are interim. libcurl answers a 401 or 407 itself when
        // it has credentials for an offered scheme (Basic, NTLM), and then
        // ignores its body:
        // such a response is final only once body bytes arrive for it or the
        // transfer ends (SettleTentativeLocked).
        if (m_block.status >= 200 && m_block.status != 401 && m_block.status != 407) {
            m_final = true;
        }
        return true;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return true;
    }
    const std::string_view name = TrimBlanks(line.substr(0, colon));
    const std::string_view value = line.substr(colon + 1);
    auto is = [&](std::string_view header) { return EqualsNoCase(name, header); };
    if (is("WWW-Authenticate")) {
        m_block.serverSchemes |= ParseAuthSchemes(value);
        m_block.serverChallenges.emplace_back(TrimBlanks(value));
    } else if (is("Proxy-Authenticate")) {
        m_block.proxySchemes |= ParseAuthSchemes(value);
        m_block.proxyChallenges.emplace_back(TrimBlanks(value));
    } else if (is("Content-Length")) {
        m_block.contentLength = ParseHeaderNumber(value);
    }
    return true;
}

void CCurlResponse::SettleTentativeLocked() {
    if (!m_final && m_block.ended && m_block.status >= 200) {
        m_final = true;
    }
}

std::size_t CCurlResponse::OnBody(const char* data, std::size_t size) {
    if (m_closed) {
        return 0;  // fails the transfer, which frees its connection
    }
    Touch();
    brevane::MutexLock lock(m_mutex);
    // libcurl passes on only the body of the response it does not answer
    // itself, so body bytes make the last header block final.
    SettleTentativeLocked();
    if (size > kBufferCapacity) {
        return 0;
    }
    const auto length = static_cast<std::uint32_t>(size);
    if (!m_ring.Write(reinterpret_cast<const std::uint8_t*>(data), length)) {
        m_paused = true;
        ++m_pauses;
        return CURL_WRITEFUNC_PAUSE;
    }
    m_received += length;
    if (m_wait.Waiting()) {
        m_wait.Wake();  // run by another thread (a due timer, say) while the reader waits
    }
    return size;
}

void CCurlResponse::OnDone(CURLcode result) {
    long osError = 0;
    if (result != CURLE_OK && curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &osError) != CURLE_OK) {
        osError = 0;
    }
    brevane::MutexLock lock(m_mutex);
    m_done = true;
    m_result = result;
    m_osError = osError;
    if (result == CURLE_OK) {
        SettleTentativeLocked();
    }
    if (m_wait.Waiting()) {
        m_wait.Wake();
    }
}

bool CCurlResponse::TakeResume() {
    brevane::MutexLock lock(m_mutex);
    if (!m_paused || (m_ring.Free() < kLargestWrite && !m_closed)) {
        return false;
    }
    m_paused = false;
    return true;
}

// --- state queries ---

bool CCurlResponse::HeadersSettled() const {
    brevane::MutexLock lock(m_mutex);
    return m_final || m_done;
}

bool CCurlResponse::HasFinalHeaders() const {
    brevane::MutexLock lock(m_mutex);
    return m_final;
}

bool CCurlResponse::DataSettled() const {
    brevane::MutexLock lock(m_mutex);
    return m_ring.Size() > 0 || m_done;
}

bool CCurlResponse::RoomForSocketRead() const {
    brevane::MutexLock lock(m_mutex);
    return m_ring.Free() >= static_cast<std::uint32_t>(kSocketReadSize);
}

std::uint32_t CCurlResponse::StatusCode() const {
    brevane::MutexLock lock(m_mutex);
    return m_block.status;
}

std::uint32_t CCurlResponse::ContentLength() const {
    brevane::MutexLock lock(m_mutex);
    return m_block.contentLength;
}

std::uint32_t CCurlResponse::ServerAuthSchemes() const {
    brevane::MutexLock lock(m_mutex);
    return m_block.serverSchemes;
}

std::vector<std::string> CCurlResponse::AuthChallenges(bool proxy) const {
    brevane::MutexLock lock(m_mutex);
    return proxy ? m_block.proxyChallenges : m_block.serverChallenges;
}

void CCurlResponse::ReleaseEasy() {
    if (CURL* easy = std::exchange(m_easy, nullptr)) {
        curl_easy_cleanup(easy);
    }
}

std::uint32_t CCurlResponse::ProxyAuthSchemes() const {
    brevane::MutexLock lock(m_mutex);
    return m_block.proxySchemes;
}

ResponseStats CCurlResponse::BufferStats() const {
    brevane::MutexLock lock(m_mutex);
    ResponseStats stats;
    stats.capacity = kBufferCapacity;
    stats.buffered = m_ring.Size();
    stats.peakBuffered = m_ring.Peak();
    stats.bytesReceived = m_received;
    stats.pauses = m_pauses;
    stats.ended = m_done;
    stats.complete = m_done && m_result == CURLE_OK;
    if (!stats.complete) {
        stats.failure = m_waitFailure;
    }
    return stats;
}

ResponseStats CCurlResponse::Stats() const {
    ResponseStats stats = BufferStats();
    // The transfer's own error says more than the wait that noticed it.
    if (const Failure failure = TransferFailure(); failure != Failure::None) {
        stats.failure = failure;
    }
    return stats;
}

// --- reading ---

void CCurlResponse::Close() {
    m_closed = true;
    // A reader blocked on this response notices at once.
    m_wait.Wake();
}

bool CCurlResponse::WaitForData(bool refresh) {
    const CCurlSession::WaitResult waited =
        m_session->Drive(*this, [this] { return DataSettled(); }, refresh);
    if (waited == CCurlSession::WaitResult::Ready) {
        return true;
    }
    brevane::MutexLock lock(m_mutex);
    m_waitFailure = FailureOfWait(waited);
    return false;
}

// --- failure causes ---

Failure CCurlResponse::TransferFailure() const {
    brevane::MutexLock lock(m_mutex);
    return m_done ? FailureOfTransfer(m_result, m_osError) : Failure::None;
}

bool CCurlResponse::QueryDataAvailable(std::uint32_t* count) {
    if (count == nullptr) {
        return false;
    }
    *count = 0;
    // Takes in what has arrived meanwhile, so the count covers it.
    if (!WaitForData(true)) {
        return false;
    }
    brevane::MutexLock lock(m_mutex);
    if (m_ring.Size() > 0) {
        *count = m_ring.Size();
        return true;
    }
    return m_result == CURLE_OK;  // the body has ended, or the transfer failed
}

bool CCurlResponse::ReadData(void* buffer, std::uint32_t size, std::uint32_t* read) {
    if (read == nullptr) {
        return false;
    }
    *read = 0;
    if (buffer == nullptr || size == 0) {
        return false;
    }
    if (!WaitForData(false)) {
        return false;
    }
    {
        brevane::MutexLock lock(m_mutex);
        if (m_ring.Size() == 0) {
            return m_result == CURLE_OK;
        }
        *read = m_ring.Read(static_cast<std::uint8_t*>(buffer), size);
        m_shown -= std::min(m_shown, *read);
    }
    // A transfer paused on a full buffer goes on at the reader's next wait.
    return true;
}

bool CCurlResponse::ViewData(BodyView* view) {
    if (view == nullptr) {
        return false;
    }
    *view = BodyView{};
    if (!WaitForData(false)) {
        return false;
    }
    brevane::MutexLock lock(m_mutex);
    m_shown = m_ring.Size();
    if (m_shown == 0) {
        return m_result == CURLE_OK;  // the body has ended, or the transfer failed
    }
    m_ring.Peek(&view->first, &view->firstSize, &view->second, &view->secondSize);
    return true;
}

void CCurlResponse::ReleaseData(std::uint32_t count) {
    // A transfer paused on a full buffer goes on at the reader's next wait.
    brevane::MutexLock lock(m_mutex);
    const std::uint32_t released = std::min(count, m_shown);
    m_ring.Discard(released);
    m_shown -= released;
}

}  // namespace Web
