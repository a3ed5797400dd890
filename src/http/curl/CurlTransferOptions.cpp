// The transfer of one exchange set up on a libcurl handle: the request's
// checks, its URL from parts, and every option the handle needs.
#include "http/curl/CurlResponse.h"

#include <string>

#include "http/AuthChallenge.h"
#include "http/HeaderParsing.h"

namespace Web {

namespace {

// What libcurl answers itself; Digest is computed by the client and only
// carried (CURLOPT_HTTPHEADER).
long CurlAuthBits(std::uint32_t scheme) {
    switch (scheme) {
        case kAuthSchemeBasic: return static_cast<long>(CURLAUTH_BASIC);
        case kAuthSchemeNtlm: return static_cast<long>(CURLAUTH_NTLM);
        case kAuthSchemeNegotiate: return static_cast<long>(CURLAUTH_NEGOTIATE);
        default: return 0;
    }
}

// A request that can be made at all: host, port, a verb of token characters
// and an origin-form target.
bool IsValidRequest(const SessionParams& session, const ExchangeParams& params) {
    if (session.host.empty() || params.target.empty() || params.target.front() != '/' ||
        session.port == 0) {
        return false;
    }
    return IsToken(params.verb);
}

// Sets options on one handle until the first one fails; later ones are then
// left unset and Ok() stays false.
class OptionSetter {
   public:
    explicit OptionSetter(CURL* easy) : m_easy(easy) {}
    template <typename Value>
    void operator()(CURLoption option, Value value) {
        if (m_rc == CURLE_OK) {
            m_rc = curl_easy_setopt(m_easy, option, value);
        }
    }
    bool Ok() const { return m_rc == CURLE_OK; }

   private:
    CURL* const m_easy;
    CURLcode m_rc = CURLE_OK;
};

// The URL as built, HTTP/1.1 over http or https only, never a proxy (whatever
// the environment says) nor a redirect, the user agent and the time-outs.
void SetConnectionOptions(OptionSetter& set, CURLU* url, void* owner, const SessionParams& session,
                          const ExchangeParams& params) {
    set(CURLOPT_CURLU, url);
    set(CURLOPT_PATH_AS_IS, 1L);
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_PRIVATE, owner);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_BUFFERSIZE, CCurlResponse::kSocketReadSize);
    set(CURLOPT_PROXY, "");
    set(CURLOPT_NOPROXY, "*");
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(CURLOPT_FOLLOWLOCATION, 0L);
    set(CURLOPT_USERAGENT, session.userAgent.c_str());
    set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(session.timeoutMs));
    set(CURLOPT_TIMEOUT_MS, static_cast<long>(params.totalTimeoutMs));
}

// Cameras use self-signed or mismatched certificates, and often old TLS
// versions, small keys and old ciphers; the certificate is not checked
// anyway, so the library's security level is not allowed to refuse them.
void SetTlsOptions(OptionSetter& set) {
    set(CURLOPT_SSL_VERIFYPEER, 0L);
    set(CURLOPT_SSL_VERIFYHOST, 0L);
    set(CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1));
    set(CURLOPT_SSL_CIPHER_LIST, "DEFAULT:@SECLEVEL=0");
}

// GET, HEAD without a body, or any other verb as given.
void SetVerbOptions(OptionSetter& set, const std::string& verb) {
    set(CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr));
    set(CURLOPT_HTTPGET, 1L);
    if (verb == "HEAD") {
        set(CURLOPT_NOBODY, 1L);
    } else if (verb != "GET") {
        set(CURLOPT_CUSTOMREQUEST, verb.c_str());
    }
}

// Credentials only for the chosen scheme and target; the other target's are
// cleared.
void SetCredentialOptions(OptionSetter& set, const ExchangeParams& params) {
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
}

}  // namespace

bool CCurlResponse::Configure(const SessionParams& session, const ExchangeParams& params) {
    if (!IsValidRequest(session, params)) {
        return false;
    }
    m_easy = curl_easy_init();
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
    OptionSetter set(m_easy);
    SetConnectionOptions(set, m_url, static_cast<void*>(this), session, params);
    SetTlsOptions(set);
    SetVerbOptions(set, params.verb);
    SetCredentialOptions(set, params);
    if (!params.authorization.empty()) {
        // The Digest answer the client computed, for the chosen target.
        const bool proxy = params.authTarget == kAuthTargetProxy;
        const std::string header =
            std::string(proxy ? "Proxy-Authorization: " : "Authorization: ") + params.authorization;
        m_headers = curl_slist_append(nullptr, header.c_str());
        if (m_headers == nullptr) {
            return false;
        }
        set(CURLOPT_HTTPHEADER, m_headers);
    }
    set(CURLOPT_HEADERFUNCTION, &CCurlResponse::HeaderCallback);
    set(CURLOPT_HEADERDATA, static_cast<void*>(this));
    set(CURLOPT_WRITEFUNCTION, &CCurlResponse::WriteCallback);
    set(CURLOPT_WRITEDATA, static_cast<void*>(this));
    set(CURLOPT_PREREQFUNCTION, &CCurlResponse::PrereqCallback);
    set(CURLOPT_PREREQDATA, static_cast<void*>(this));
    return set.Ok();
}

}  // namespace Web
