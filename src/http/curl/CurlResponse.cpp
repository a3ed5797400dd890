#include "http/curl/CurlResponse.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstring>
#include <string>
#include <utility>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "http/AuthChallenge.h"
#include "http/curl/CurlSession.h"
#include "platform/Platform.h"

namespace Web {

namespace {

// libcurl hands the write callback at most this much at once, also when a
// paused transfer resumes; a paused transfer resumes only when this much fits.
constexpr std::uint32_t kLargestWrite = CURL_MAX_WRITE_SIZE;
static_assert(CCurlResponse::kBufferCapacity >= 2 * kLargestWrite);

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto a = static_cast<unsigned char>(text[i]);
        const auto b = static_cast<unsigned char>(prefix[i]);
        if (std::tolower(a) != std::tolower(b)) {
            return false;
        }
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// A decimal number that fits 32 bits; 0 for anything else, as a failed
// numeric header query leaves its field.
std::uint32_t ParseHeaderNumber(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty() || text.size() > 10) {
        return 0;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return 0;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(value);
}

// "HTTP/1.1 401 Unauthorized" -> 401; 0 when malformed.
std::uint32_t ParseStatusLine(std::string_view line) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos || line.size() < blank + 4) {
        return 0;
    }
    std::uint32_t code = 0;
    for (std::size_t i = blank + 1; i < blank + 4; ++i) {
        if (line[i] < '0' || line[i] > '9') {
            return 0;
        }
        code = code * 10 + static_cast<std::uint32_t>(line[i] - '0');
    }
    return code;
}

long CurlAuthBits(std::uint32_t scheme) {
    switch (scheme) {
        case kAuthSchemeBasic: return static_cast<long>(CURLAUTH_BASIC);
        case kAuthSchemeNtlm: return static_cast<long>(CURLAUTH_NTLM);
        case kAuthSchemeDigest: return static_cast<long>(CURLAUTH_DIGEST);
        case kAuthSchemeNegotiate: return static_cast<long>(CURLAUTH_NEGOTIATE);
        default: return 0;
    }
}

bool IsTokenChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

}  // namespace

CCurlResponse::CCurlResponse(std::shared_ptr<CCurlSession> session, std::uint32_t timeoutMs)
    : m_session(std::move(session)),
      m_timeoutMs(timeoutMs),
      m_lastActivity(brevane::platform::MonotonicMilliseconds()),
      m_ring(std::make_unique_for_overwrite<std::uint8_t[]>(kBufferCapacity)) {}

CCurlResponse::~CCurlResponse() {
    if (m_attached) {
        // Removing an unfinished transfer closes its connection; a finished
        // one already returned its connection to the session's cache and its
        // handle to the session.
        m_session->Detach(*this);
    } else if (m_easy != nullptr) {
        ReleaseEasy();
    }
    // Detached, nobody wakes this response any more.
    if (const int wakeFd = m_wakeFd.exchange(-1); wakeFd >= 0) {
        close(wakeFd);
    }
    if (m_url != nullptr) {
        curl_url_cleanup(m_url);
    }
}

namespace {

// A request that can be made at all: host, port, a verb of token characters
// and an origin-form target.
bool IsValidRequest(const SessionParams& session, const ExchangeParams& params) {
    if (session.host.empty() || params.target.empty() || params.target.front() != '/' ||
        params.verb.empty() || session.port == 0) {
        return false;
    }
    for (const char c : params.verb) {
        if (!IsTokenChar(c)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool CCurlResponse::Configure(const SessionParams& session, const ExchangeParams& params) {
    if (!IsValidRequest(session, params)) {
        return false;
    }
    // A handle of an earlier exchange carries on its authentication state.
    m_easy = m_session->TakeEasy();
    if (m_easy == nullptr) {
        m_easy = curl_easy_init();
    }
    m_url = curl_url();
    return m_easy != nullptr && m_url != nullptr && BuildUrl(session, params) && SetOptions(session, params);
}

bool CCurlResponse::BuildUrl(const SessionParams& session, const ExchangeParams& params) {
    // The URL is built from parts, so the host is checked as a host name
    // and nothing in it can redirect the request elsewhere.
    std::string host = session.host;
    if (host.find(':') != std::string::npos && host.front() != '[') {
        host = "[" + host + "]";  // IPv6 literal
    }
    const std::size_t question = params.target.find('?');
    const std::string path = params.target.substr(0, question);
    const std::string query =
        question == std::string::npos ? std::string() : params.target.substr(question + 1);
    const std::string port = std::to_string(session.port);
    if (curl_url_set(m_url, CURLUPART_SCHEME, params.secure ? "https" : "http", 0) != CURLUE_OK ||
        curl_url_set(m_url, CURLUPART_HOST, host.c_str(), 0) != CURLUE_OK ||
        curl_url_set(m_url, CURLUPART_PORT, port.c_str(), 0) != CURLUE_OK ||
        curl_url_set(m_url, CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK ||
        (!query.empty() &&
         curl_url_set(m_url, CURLUPART_QUERY, query.c_str(), 0) != CURLUE_OK)) {
        return false;
    }
    return true;
}

bool CCurlResponse::SetOptions(const SessionParams& session, const ExchangeParams& params) {
    CURLcode rc = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
        if (rc == CURLE_OK) {
            rc = curl_easy_setopt(m_easy, option, value);
        }
    };
    set(CURLOPT_CURLU, m_url);
    set(CURLOPT_PATH_AS_IS, 1L);
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_PRIVATE, static_cast<void*>(this));
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_BUFFERSIZE, kSocketReadSize);
    // Never a proxy, whatever the environment says.
    set(CURLOPT_PROXY, "");
    set(CURLOPT_NOPROXY, "*");
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_FOLLOWLOCATION, 0L);
    set(CURLOPT_USERAGENT, session.userAgent.c_str());
    // Every option that an earlier exchange on a reused handle may have
    // set is set again, to this exchange's value or the default.
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(session.timeoutMs));
    set(CURLOPT_TIMEOUT_MS, static_cast<long>(params.totalTimeoutMs));
    // Cameras use self-signed or mismatched certificates, and often old TLS
    // versions, small keys and old ciphers; the certificate is not checked
    // anyway, so the library's security level is not allowed to refuse them.
    set(CURLOPT_SSL_VERIFYPEER, 0L);
    set(CURLOPT_SSL_VERIFYHOST, 0L);
    set(CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1));
    set(CURLOPT_SSL_CIPHER_LIST, "DEFAULT:@SECLEVEL=0");

    set(CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr));
    set(CURLOPT_HTTPGET, 1L);
    if (params.verb == "HEAD") {
        set(CURLOPT_NOBODY, 1L);
    } else if (params.verb != "GET") {
        set(CURLOPT_CUSTOMREQUEST, params.verb.c_str());
    }

    // Credentials only for the chosen scheme and target; the other target's
    // are cleared. The scheme's state from earlier exchanges on this handle
    // (a Digest nonce) stays, so libcurl answers it at once.
    const long auth = CurlAuthBits(params.authScheme);
    const bool withCredentials = !params.userName.empty() && auth != 0;
    const bool proxy = params.authTarget == kAuthTargetProxy;
    const char* const user = withCredentials ? params.userName.c_str() : nullptr;
    const char* const password = withCredentials ? params.password.c_str() : nullptr;
    set(CURLOPT_PROXYAUTH, proxy && withCredentials ? auth : static_cast<long>(CURLAUTH_BASIC));
    set(CURLOPT_PROXYUSERNAME, proxy ? user : nullptr);
    set(CURLOPT_PROXYPASSWORD, proxy ? password : nullptr);
    set(CURLOPT_HTTPAUTH, !proxy && withCredentials ? auth : static_cast<long>(CURLAUTH_BASIC));
    set(CURLOPT_USERNAME, proxy ? nullptr : user);
    set(CURLOPT_PASSWORD, proxy ? nullptr : password);

    set(CURLOPT_HEADERFUNCTION, &CCurlResponse::HeaderCallback);
    set(CURLOPT_HEADERDATA, static_cast<void*>(this));
    set(CURLOPT_WRITEFUNCTION, &CCurlResponse::WriteCallback);
    set(CURLOPT_WRITEDATA, static_cast<void*>(this));
    set(CURLOPT_PREREQFUNCTION, &CCurlResponse::PrereqCallback);
    set(CURLOPT_PREREQDATA, static_cast<void*>(this));
    return rc == CURLE_OK;
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
        // it has credentials for an offered scheme, and then ignores its body:
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
    auto is = [&](std::string_view header) {
        return name.size() == header.size() && StartsWithNoCase(name, header);
    };
    if (is("WWW-Authenticate")) {
        m_block.serverSchemes |= ParseAuthSchemes(value);
        if (ParseDigestStale(value)) {
            // On a handle that answered an earlier exchange, libcurl follows
            // a stale challenge up with the old nonce again, and it would
            // follow up for as long as the server calls every nonce stale.
            // So the 401 is taken as it stands and the transfer stops; the
            // client answers it once more on a handle without that state
            // (the camera's kept handles share the nonce, so they go too).
            m_block.digestStale = true;
            m_block.ended = true;
            m_final = true;
            m_nonceStale = true;
            return false;
        }
    } else if (is("Proxy-Authenticate")) {
        m_block.proxySchemes |= ParseAuthSchemes(value);
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
    if (kBufferCapacity - m_size < size) {
        m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    const auto length = static_cast<std::uint32_t>(size);
    const std::uint32_t tail = (m_head + m_size) % kBufferCapacity;
    const std::uint32_t first = std::min(length, kBufferCapacity - tail);
    std::memcpy(m_ring.get() + tail, data, first);
    std::memcpy(m_ring.get(), data + first, length - first);
    m_size += length;
    m_received += length;
    m_peak = std::max(m_peak, m_size);
    if (m_waiting) {
        Wake();  // run by another thread (a due timer, say) while the reader waits
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
    if (m_waiting) {
        Wake();
    }
}

void CCurlResponse::OnSocket(curl_socket_t socket, int what) {
    brevane::MutexLock lock(m_mutex);
    auto known = std::find_if(m_sockets.begin(), m_sockets.end(),
                              [&](const WatchedSocket& watched) { return watched.socket == socket; });
    if (what == CURL_POLL_REMOVE || what == CURL_POLL_NONE) {
        if (known != m_sockets.end()) {
            m_sockets.erase(known);
        }
    } else if (known != m_sockets.end()) {
        known->what = what;
    } else {
        m_sockets.push_back({socket, what});
    }
}

bool CCurlResponse::Watches(curl_socket_t socket) const {
    brevane::MutexLock lock(m_mutex);
    return std::any_of(m_sockets.begin(), m_sockets.end(),
                       [&](const WatchedSocket& watched) { return watched.socket == socket; });
}

// --- waiting for the network ---

bool CCurlResponse::PrepareWait() {
    if (m_wakeFd.load() >= 0) {
        return true;
    }
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) {
        return false;
    }
    m_wakeFd = wakeFd;  // only the reader makes it
    return true;
}

void CCurlResponse::Wake() {
    if (const int wakeFd = m_wakeFd.load(); wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wakeFd, &one, sizeof one);
    }
}

bool CCurlResponse::WaitForSockets(std::uint64_t timeoutMs, const std::function<bool()>& ready,
                                   std::vector<SocketEvent>* events) {
    events->clear();
    std::vector<pollfd> watched;
    {
        brevane::MutexLock lock(m_mutex);
        watched.reserve(m_sockets.size() + 1);
        for (const WatchedSocket& socket : m_sockets) {
            const short wanted = static_cast<short>(((socket.what & CURL_POLL_IN) != 0 ? POLLIN : 0) |
                                                    ((socket.what & CURL_POLL_OUT) != 0 ? POLLOUT : 0));
            watched.push_back({socket.socket, wanted, 0});
        }
    }
    const int wakeFd = m_wakeFd.load();
    watched.push_back({wakeFd, POLLIN, 0});
    // Announced before the last look, so progress made by another thread
    // after the look wakes the poll.
    m_waiting = true;
    if (timeoutMs != 0 && (m_closed || ready())) {
        m_waiting = false;
        return true;
    }
    const int polled = poll(watched.data(), watched.size(), static_cast<int>(timeoutMs));
    m_waiting = false;
    if (polled < 0) {
        return errno == EINTR;
    }
    if (watched.back().revents != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t drained = read(wakeFd, &count, sizeof count);
    }
    watched.pop_back();
    for (const pollfd& socket : watched) {
        if (socket.revents == 0) {
            continue;
        }
        int bits = 0;
        bits |= (socket.revents & POLLIN) != 0 ? CURL_CSELECT_IN : 0;
        bits |= (socket.revents & POLLOUT) != 0 ? CURL_CSELECT_OUT : 0;
        bits |= (socket.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 ? CURL_CSELECT_ERR : 0;
        events->push_back({socket.fd, bits});
    }
    return true;
}

bool CCurlResponse::TakeResume() {
    brevane::MutexLock lock(m_mutex);
    if (!m_paused || (kBufferCapacity - m_size < kLargestWrite && !m_closed)) {
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
    return m_size > 0 || m_done;
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

bool CCurlResponse::DigestStale() const {
    brevane::MutexLock lock(m_mutex);
    return m_block.digestStale;
}

void CCurlResponse::ReleaseEasy() {
    if (m_nonceStale) {
        m_session->DiscardEasy(std::exchange(m_easy, nullptr));
    } else {
        m_session->ReturnEasy(std::exchange(m_easy, nullptr));
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
    stats.buffered = m_size;
    stats.peakBuffered = m_peak;
    stats.bytesReceived = m_received;
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
    Wake();
}

bool CCurlResponse::WaitForData(bool refresh) {
    const CCurlSession::WaitResult waited =
        m_session->Drive(*this, [this] { return DataSettled(); }, refresh);
    if (waited == CCurlSession::WaitResult::Ready) {
        return true;
    }
    brevane::MutexLock lock(m_mutex);
    m_waitFailure = FailureOf(waited);
    return false;
}

// --- failure causes: libcurl's codes and the session's waits ---

Failure CCurlResponse::FailureOf(CCurlSession::WaitResult waited) {
    switch (waited) {
        case CCurlSession::WaitResult::Ready:
            return Failure::None;
        case CCurlSession::WaitResult::TimedOut:
            return Failure::TimedOut;
        case CCurlSession::WaitResult::Aborted:
        case CCurlSession::WaitResult::Closed:
            return Failure::Aborted;
        case CCurlSession::WaitResult::Failed:
            break;
    }
    return Failure::Other;
}

Failure CCurlResponse::TransferFailure() const {
    brevane::MutexLock lock(m_mutex);
    if (!m_done || m_result == CURLE_OK) {
        return Failure::None;
    }
    switch (m_result) {
        case CURLE_COULDNT_CONNECT:
            // libcurl says "could not connect" for every cause; the
            // system's error tells a refusal from a missing route.
            if (m_osError == EHOSTUNREACH || m_osError == ENETUNREACH) {
                return Failure::Unreachable;
            }
            return m_osError == ETIMEDOUT ? Failure::TimedOut : Failure::Refused;
        case CURLE_OPERATION_TIMEDOUT:
            return Failure::TimedOut;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_URL_MALFORMAT:
            return Failure::Address;
        case CURLE_ABORTED_BY_CALLBACK:
            return Failure::Aborted;
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_WEIRD_SERVER_REPLY:
            return Failure::Broken;
        case CURLE_SSL_CONNECT_ERROR:
            return Failure::Tls;
        default:
            return Failure::Other;
    }
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
    if (m_size > 0) {
        *count = m_size;
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
        if (m_size == 0) {
            return m_result == CURLE_OK;
        }
        const std::uint32_t length = std::min(size, m_size);
        const std::uint32_t first = std::min(length, kBufferCapacity - m_head);
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::memcpy(out, m_ring.get() + m_head, first);
        std::memcpy(out + first, m_ring.get(), length - first);
        m_head = (m_head + length) % kBufferCapacity;
        m_size -= length;
        if (m_size == 0) {
            m_head = 0;
        }
        *read = length;
    }
    // A transfer paused on a full buffer goes on at the reader's next wait.
    return true;
}

}  // namespace Web
