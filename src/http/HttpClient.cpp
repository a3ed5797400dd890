#include "http/HttpClient.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "http/AuthChallenge.h"
#include "http/AuthSchemeTable.h"
#include "http/DigestAuth.h"
#include "http/DigestNonceTable.h"
#include "http/PlainHttpRefusal.h"
#include "http/Transport.h"
#include "platform/Platform.h"

namespace Web {

namespace {

constexpr std::uint32_t kStatusUnauthorized = 401;
constexpr std::uint32_t kStatusProxyAuthRequired = 407;
// A request is sent at most this many times while negotiating.
constexpr int kMaxSends = 5;

SessionParams SessionFor(const brevane::DEVICE_INFO& device, const std::string& userAgent) {
    SessionParams params;
    params.host = device.address;
    params.port = device.port;
    params.userAgent = userAgent;
    params.timeoutMs = device.timeout;
    params.maxConnectionsPerServer = CHttpClient::kMaxConnectionsPerServer;
    return params;
}

// What one AuthenticatedExchange keeps from one send to the next.
struct ChallengeRounds {
    std::uint32_t lastChallenge = 0;  // status of the challenge that last changed the scheme
    bool basicFallback = false;       // Basic was tried without a challenge naming it
    bool staleAnswered = false;       // a stale nonce was answered once
    bool unsignedAnswered = false;    // a request sent without a known nonce was answered once
};

// What a 401 or 407 answer offers that this client can answer.
struct Challenge {
    std::uint32_t target = kAuthTargetServer;
    std::uint32_t offered = 0;
    std::optional<DigestChallenge> digest;  // set when Digest is offered
};

Challenge ReadChallenge(const CHttpResponse& response, bool proxy) {
    Challenge challenge;
    challenge.target = proxy ? kAuthTargetProxy : kAuthTargetServer;
    challenge.offered =
        (proxy ? response.ProxyAuthSchemes() : response.ServerAuthSchemes()) & TransportAuthSchemes();
    if ((challenge.offered & kAuthSchemeDigest) != 0) {
        // Digest is answered here, so it counts as offered only when one of
        // its challenges can be answered.
        challenge.digest = ChooseDigestChallenge(ParseDigestChallenges(response.AuthChallenges(proxy)));
        if (!challenge.digest) {
            challenge.offered &= ~kAuthSchemeDigest;
        }
    }
    return challenge;
}

// A Digest request was refused while Digest is already the scheme: true when
// it goes out once more with the nonce just stored, false when the refusal
// stands (wrong credentials, reported as the 401 it is).
bool AnswerDigestAgain(const DigestChallenge& digest, bool signedRequest, ChallengeRounds& rounds) {
    if (!signedRequest && !rounds.unsignedAnswered) {
        // Sent before any nonce of the camera was known.
        rounds.unsignedAnswered = true;
        return true;
    }
    if (signedRequest && digest.stale && !rounds.staleAnswered) {
        // The credentials were right, the nonce they answered expired:
        // answer the fresh nonce, once.
        rounds.staleAnswered = true;
        return true;
    }
    return false;
}

// The scheme of the next send after a challenge, or 0 when nothing new is
// left to try. `choice` is the scheme the challenge named (0 for none this
// client can answer), `current` the one the refused request used.
std::uint32_t NextScheme(std::uint32_t choice, std::uint32_t current, bool haveUser, ChallengeRounds& rounds) {
    if (choice == 0) {
        // Nothing this client can answer (no challenge at all, or only
        // schemes it lacks): Basic, once, as a camera without a challenge
        // most likely wants.
        if (!haveUser || rounds.basicFallback || current == kAuthSchemeBasic) {
            return 0;
        }
        rounds.basicFallback = true;
        return kAuthSchemeBasic;
    }
    return choice == current ? 0 : choice;
}

}  // namespace

CHttpClient::CHttpClient(const brevane::DEVICE_INFO& device, const std::string& userAgent)
    : m_timeout(device.timeout),
      m_hSession(OpenSession(SessionFor(device, userAgent))),
      m_userAgent(userAgent),
      m_userName(device.userName),
      m_password(device.password),
      m_host(device.address),
      m_port(device.port) {}

CHttpClient::~CHttpClient() {
    CloseRequest();
    m_hSession.reset();
}

bool CHttpClient::Request(const std::string& verb, const std::string& path) {
    return Request(verb, path, 0);
}

bool CHttpClient::Request(const std::string& verb, const std::string& path,
                          std::uint32_t totalTimeoutMs) {
    brevane::MutexLock exchange(m_exchangeMutex);
    Attempt attempt;
    if (totalTimeoutMs != 0) {
        attempt.deadline = brevane::platform::MonotonicMilliseconds() + totalTimeoutMs;
    }
    if (m_authScheme.load() == 0) {
        // Another client of this camera may have learned its scheme meanwhile.
        const RememberedAuth remembered = CAuthSchemeTable::Instance().Lookup(m_host, m_port);
        if (remembered.scheme != 0) {
            m_authScheme = remembered.scheme;
            m_authTarget = remembered.target;
        }
    }
    const std::int32_t scheme = m_scheme.load();
    if (scheme == kSchemeHttp || scheme == kSchemeHttps) {
        return Answered(AuthenticatedExchange(verb, path, attempt));
    }

    m_scheme = kSchemeHttp;
    attempt.probingPlain = true;
    if (AuthenticatedExchange(verb, path, attempt)) {
        return Answered(true);
    }
    attempt.probingPlain = false;
    // Plain HTTP got no answer. HTTPS is tried once only when this client
    // already holds a response from the camera, or when the port answered
    // with a web server's page about plain HTTP sent to a TLS port. A
    // connection closed, reset or left silent is no sign of TLS: a hello
    // sent there would only hold the caller for another time-out.
    if ((attempt.refusedPlain || GetRequestHandle()) && !IsAborted()) {
        const Failure plainFailure = GetLastFailure();
        m_scheme = kSchemeHttps;
        if (AuthenticatedExchange(verb, path, attempt)) {
            return Answered(true);
        }
        // A camera that is not an HTTPS server fails the handshake; what
        // went wrong with plain HTTP is the cause worth telling.
        if (!IsAborted()) {
            SetFailure(plainFailure);
        }
    }
    // Undetermined again, so the next request starts over with plain HTTP.
    m_scheme = 0;
    return false;
}

bool CHttpClient::Answered(bool answered) {
    if (answered) {
        const std::uint32_t status = GetStatusCode();
        SetFailure(status / 100 == 2 ? Failure::None : Failure::HttpStatus);
    }
    return answered;
}

void CHttpClient::SetFailure(Failure failure) {
    brevane::CLockGuard lock(m_lock);
    m_lastFailure = failure;
}

Failure CHttpClient::GetLastFailure() const {
    brevane::CLockGuard lock(m_lock);
    return m_lastFailure;
}

std::string CHttpClient::DescribeLastFailure() const {
    brevane::CLockGuard lock(m_lock);
    return DescribeFailure(m_lastFailure, m_statusCode);
}

std::uint32_t CHttpClient::EffectiveAuthScheme() const {
    const std::uint32_t negotiated = m_authScheme.load();
    if (negotiated != 0) {
        return negotiated;
    }
    // Over TLS nobody on the camera network reads Basic credentials, and a
    // camera that wants them gets them without a challenge first.
    return m_scheme.load() == kSchemeHttps ? kAuthSchemeBasic : 0;
}

bool CHttpClient::AuthenticatedExchange(const std::string& verb, const std::string& path,
                                        Attempt& attempt) {
    ChallengeRounds rounds;
    for (int sends = 1;; ++sends) {
        if (!BasicExchange(verb, path, attempt)) {
            return false;
        }
        const std::uint32_t status = GetStatusCode();
        if (status != kStatusUnauthorized && status != kStatusProxyAuthRequired) {
            if (rounds.basicFallback && status / 100 == 2) {
                // Basic was what the camera wanted after all: later clients
                // start with it.
                CAuthSchemeTable::Instance().Remember(m_host, m_port,
                                                      {kAuthSchemeBasic, m_authTarget.load()});
            }
            return true;
        }
        const RequestHandle response = GetRequestHandle();
        if (!response) {
            return true;
        }
        const Challenge challenge = ReadChallenge(*response, status == kStatusProxyAuthRequired);
        const std::uint32_t choice = PreferredAuthScheme(challenge.offered);
        const std::uint32_t current = EffectiveAuthScheme();
        if (choice == kAuthSchemeDigest && !m_userName.empty()) {
            // The camera's nonce for every client of it from now on.
            CDigestNonceTable::Instance().Store(m_host, m_port, challenge.target, *challenge.digest);
            if (current == kAuthSchemeDigest && sends < kMaxSends &&
                AnswerDigestAgain(*challenge.digest, attempt.digestSigned, rounds)) {
                continue;
            }
        }
        if (status == rounds.lastChallenge) {
            return true;  // the same challenge after a change of scheme
        }
        const std::uint32_t next = NextScheme(choice, current, !m_userName.empty(), rounds);
        if (next == 0) {
            return true;
        }
        if (next == choice) {
            CAuthSchemeTable::Instance().Remember(m_host, m_port, {choice, challenge.target});
        }
        // Kept for every later request of this client.
        m_authScheme = next;
        m_authTarget = challenge.target;
        rounds.lastChallenge = status;
        if (sends >= kMaxSends) {
            return true;
        }
    }
}

bool CHttpClient::BasicExchange(const std::string& verb, const std::string& path,
                                Attempt& attempt) {
    SetStatus(0, 0);
    if (!m_hSession || verb.empty() || path.empty()) {
        SetFailure(m_hSession ? Failure::Other : Failure::Address);
        return false;
    }
    ExchangeParams params;
    if (attempt.deadline != 0) {
        const std::uint64_t now = brevane::platform::MonotonicMilliseconds();
        if (now >= attempt.deadline) {
            SetFailure(Failure::TimedOut);
            return false;
        }
        params.totalTimeoutMs = static_cast<std::uint32_t>(attempt.deadline - now);
    }
    params.secure = m_scheme.load() == kSchemeHttps;
    params.target = RequestTarget(path);
    params.verb = verb;
    params.authScheme = EffectiveAuthScheme();
    params.authTarget = m_authTarget.load();
    attempt.digestSigned = false;
    if (params.authScheme == kAuthSchemeDigest) {
        // Digest is computed here, on the camera's shared nonce; the
        // transport only carries the header. Unsigned while no nonce of the
        // camera is known: its challenge brings one.
        if (!m_userName.empty()) {
            params.authorization = CDigestNonceTable::Instance().Sign(
                m_host, m_port, params.authTarget, m_userName, m_password, verb, params.target);
            attempt.digestSigned = !params.authorization.empty();
        }
    } else if (params.authScheme != 0) {
        params.userName = m_userName;
        params.password = m_password;
    }

    ExchangeResult result = m_hSession->Exchange(params);
    if (!result.response) {
        SetFailure(result.failure != Failure::None ? result.failure : Failure::Other);
        return false;
    }
    if (attempt.probingPlain && IsPlainHttpRefusal(&result.response)) {
        // A TLS port's page about plain HTTP is no HTTP answer of the camera.
        result.response->Close();
        attempt.refusedPlain = true;
        SetFailure(Failure::Broken);
        return false;
    }
    RequestHandle previous;
    {
        brevane::CLockGuard lock(m_lock);
        previous = std::move(m_hRequest);
        m_hRequest = result.response;
        m_statusCode = result.response->StatusCode();
        m_contentLength = result.response->ContentLength();
    }
    if (previous) {
        previous->Close();
    }
    return true;
}

void CHttpClient::SetStatus(std::uint32_t statusCode, std::uint32_t contentLength) {
    brevane::CLockGuard lock(m_lock);
    m_statusCode = statusCode;
    m_contentLength = contentLength;
}

std::uint32_t CHttpClient::ReadAll(std::vector<std::uint8_t>& buffer) {
    buffer.clear();
    std::uint32_t total = 0;
    std::uint32_t available = QueryDataAvailable();
    while (available > 0) {
        if (total >= kReadAllLimit) {
            break;
        }
        const std::uint32_t chunk = std::min(available, kReadAllChunk);
        buffer.resize(static_cast<std::size_t>(total) + chunk);
        std::uint32_t read = 0;
        RequestHandle handle = GetRequestHandle();
        // A failed read ends the reply: the response is not asked again
        // once the transport reported it broken.
        if (!handle || !ReadData(handle, buffer.data() + total, chunk, &read) || read == 0) {
            break;
        }
        total += read;
        if (!Web::QueryDataAvailable(handle, &available)) {
            break;
        }
    }
    buffer.resize(total);
    return total;
}

std::uint32_t CHttpClient::QueryDataAvailable() {
    std::uint32_t count = 0;
    if (!Web::QueryDataAvailable(GetRequestHandle(), &count)) {
        return 0;
    }
    return count;
}

std::uint32_t CHttpClient::Read(void* buffer, std::uint32_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    std::uint32_t read = 0;
    if (!ReadData(GetRequestHandle(), buffer, size, &read)) {
        return 0;
    }
    return read;
}

RequestHandle CHttpClient::GetRequestHandle() {
    brevane::CLockGuard lock(m_lock);
    return m_hRequest;
}

void CHttpClient::CloseRequest() {
    RequestHandle closing;
    {
        brevane::CLockGuard lock(m_lock);
        closing = std::move(m_hRequest);
    }
    if (closing) {
        closing->Close();
    }
}

void CHttpClient::Abort() {
    if (m_hSession) {
        m_hSession->Abort();
    }
}

void CHttpClient::ResetAbort() {
    if (m_hSession) {
        m_hSession->ResetAbort();
    }
}

bool CHttpClient::IsAborted() const { return m_hSession && m_hSession->IsAborted(); }

std::uint32_t CHttpClient::GetStatusCode() const {
    brevane::CLockGuard lock(m_lock);
    return m_statusCode;
}

std::uint32_t CHttpClient::GetContentLength() const {
    brevane::CLockGuard lock(m_lock);
    return m_contentLength;
}

// --- failure texts ---

std::string StatusText(std::uint32_t statusCode) {
    struct Reason {
        std::uint32_t status;
        const char* text;
    };
    static constexpr Reason kReasons[] = {
        {400, "Bad Request"},
        {401, "Unauthorized: wrong user name or password"},
        {403, "Forbidden: the user may not do this"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {407, "Proxy Authentication Required"},
        {408, "Request Timeout"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
    };
    for (const Reason& reason : kReasons) {
        if (reason.status == statusCode) {
            return std::to_string(statusCode) + " " + reason.text;
        }
    }
    return "HTTP status " + std::to_string(statusCode);
}

std::string DescribeFailure(Failure failure, std::uint32_t statusCode) {
    switch (failure) {
        case Failure::None:
            return "no failure";
        case Failure::Refused:
            return "connection refused";
        case Failure::TimedOut:
            return "timed out";
        case Failure::Address:
            return "host name or address not found";
        case Failure::Unreachable:
            return "camera unreachable";
        case Failure::Aborted:
            return "aborted";
        case Failure::Broken:
            return "connection broken";
        case Failure::Tls:
            return "HTTPS handshake failed";
        case Failure::HttpStatus:
            return StatusText(statusCode);
        case Failure::Other:
            break;
    }
    return "network error";
}

// --- free functions on a response handle ---

bool QueryDataAvailable(const RequestHandle& handle, std::uint32_t* count) {
    if (!handle) {
        if (count != nullptr) {
            *count = 0;
        }
        return false;
    }
    return handle->QueryDataAvailable(count);
}

bool ReadData(const RequestHandle& handle, void* buffer, std::uint32_t size, std::uint32_t* read) {
    if (!handle) {
        if (read != nullptr) {
            *read = 0;
        }
        return false;
    }
    return handle->ReadData(buffer, size, read);
}

bool ViewData(const RequestHandle& handle, BodyView* view) {
    if (view == nullptr) {
        return false;
    }
    *view = BodyView{};
    return handle && handle->ViewData(view);
}

void ReleaseData(const RequestHandle& handle, std::uint32_t count) {
    if (handle) {
        handle->ReleaseData(count);
    }
}

ResponseStats GetResponseStats(const RequestHandle& handle) {
    return handle ? handle->Stats() : ResponseStats{};
}

}  // namespace Web
