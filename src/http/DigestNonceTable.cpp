#include "http/DigestNonceTable.h"

#include "platform/Crypto.h"

namespace Web {

namespace {

// Bytes of randomness in a client nonce.
constexpr std::size_t kCnonceBytes = 16;

}  // namespace

CDigestNonceTable& CDigestNonceTable::Instance() {
    // An ordinary static, as the scheme table: unloading the module frees it.
    static CDigestNonceTable table;
    return table;
}

void CDigestNonceTable::Store(const std::string& host, std::uint16_t port, std::uint32_t target,
                              const DigestChallenge& challenge) {
    brevane::MutexLock lock(m_mutex);
    m_cameras[Key(host, port, target)] = State{challenge, 1};
}

std::string CDigestNonceTable::Sign(const std::string& host, std::uint16_t port, std::uint32_t target,
                                    std::string_view userName, std::string_view password,
                                    std::string_view method, std::string_view uri) {
    DigestChallenge challenge;
    std::uint32_t count = 0;
    {
        brevane::MutexLock lock(m_mutex);
        const auto found = m_cameras.find(Key(host, port, target));
        if (found == m_cameras.end()) {
            return {};
        }
        challenge = found->second.challenge;
        count = found->second.nextCount++;
        if (found->second.nextCount == 0) {
            // The counts of this nonce are used up; the camera's next
            // challenge brings a fresh one.
            m_cameras.erase(found);
        }
    }
    DigestRequest request;
    request.userName = userName;
    request.password = password;
    request.method = method;
    request.uri = uri;
    request.nonceCount = count;
    request.cnonce = brevane::platform::RandomHex(kCnonceBytes);
    if (request.cnonce.empty()) {
        return {};
    }
    return BuildDigestAuthorization(challenge, request);
}

void CDigestNonceTable::Clear() {
    brevane::MutexLock lock(m_mutex);
    m_cameras.clear();
}

}  // namespace Web
