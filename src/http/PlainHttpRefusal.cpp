#include "http/PlainHttpRefusal.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "http/Transport.h"

namespace Web {

namespace {

constexpr std::uint32_t kStatusBadRequest = 400;

// A response whose first body bytes were read already: they are served
// again first, then the rest comes from the response they were read from.
class CPeekedResponse final : public CHttpResponse {
   public:
    CPeekedResponse(RequestHandle inner, std::string peeked)
        : m_inner(std::move(inner)), m_peeked(std::move(peeked)) {}

    bool QueryDataAvailable(std::uint32_t* count) override {
        if (count == nullptr) {
            return false;
        }
        {
            brevane::MutexLock lock(m_mutex);
            if (m_offset < m_peeked.size()) {
                *count = static_cast<std::uint32_t>(m_peeked.size() - m_offset);
                return true;
            }
        }
        return m_inner->QueryDataAvailable(count);
    }

    bool ReadData(void* buffer, std::uint32_t size, std::uint32_t* read) override {
        if (read == nullptr) {
            return false;
        }
        *read = 0;
        if (buffer == nullptr || size == 0) {
            return false;
        }
        {
            brevane::MutexLock lock(m_mutex);
            if (m_offset < m_peeked.size()) {
                const std::size_t length = std::min<std::size_t>(size, m_peeked.size() - m_offset);
                std::memcpy(buffer, m_peeked.data() + m_offset, length);
                m_offset += length;
                *read = static_cast<std::uint32_t>(length);
                return true;
            }
        }
        return m_inner->ReadData(buffer, size, read);
    }

    void Close() override { m_inner->Close(); }

    ResponseStats Stats() const override {
        ResponseStats stats = m_inner->Stats();
        brevane::MutexLock lock(m_mutex);
        stats.buffered += static_cast<std::uint32_t>(m_peeked.size() - m_offset);
        return stats;
    }

    std::uint32_t StatusCode() const override { return m_inner->StatusCode(); }
    std::uint32_t ContentLength() const override { return m_inner->ContentLength(); }
    std::uint32_t ServerAuthSchemes() const override { return m_inner->ServerAuthSchemes(); }
    std::uint32_t ProxyAuthSchemes() const override { return m_inner->ProxyAuthSchemes(); }
    std::vector<std::string> AuthChallenges(bool proxy) const override {
        return m_inner->AuthChallenges(proxy);
    }

   private:
    const RequestHandle m_inner;
    const std::string m_peeked;
    mutable brevane::Mutex m_mutex;
    std::size_t m_offset GUARDED_BY(m_mutex) = 0;
};

}  // namespace

bool IsPlainHttpRefusalText(std::string_view body) {
    return body.find("The plain HTTP request was sent to HTTPS port") != std::string_view::npos ||
           body.find("speaking plain HTTP to an SSL-enabled server port") != std::string_view::npos;
}

bool IsPlainHttpRefusal(RequestHandle* response) {
    if (response == nullptr || !*response || (*response)->StatusCode() != kStatusBadRequest) {
        return false;
    }
    std::string peeked;
    char chunk[1024];
    std::uint32_t available = 0;
    while (peeked.size() < kPlainHttpRefusalPeek && (*response)->QueryDataAvailable(&available) &&
           available > 0) {
        const auto want = static_cast<std::uint32_t>(
            std::min<std::size_t>({sizeof chunk, available, kPlainHttpRefusalPeek - peeked.size()}));
        std::uint32_t read = 0;
        if (!(*response)->ReadData(chunk, want, &read) || read == 0) {
            break;
        }
        peeked.append(chunk, read);
    }
    if (IsPlainHttpRefusalText(peeked)) {
        return true;
    }
    if (!peeked.empty()) {
        *response = std::make_shared<CPeekedResponse>(std::move(*response), std::move(peeked));
    }
    return false;
}

}  // namespace Web
