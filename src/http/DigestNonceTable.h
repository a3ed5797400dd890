// The Digest nonce each camera last gave, shared by every client of that
// camera for the life of the process: once one client met the camera's
// challenge, every client signs its requests at once, each request with a
// nonce count of its own, so a CGI call after the first costs one request.
//
// One state per camera (address, port, and server or proxy), holding the
// challenge answered (realm, nonce, opaque, algorithm, qop) and the next
// nonce count. A fresh challenge replaces it.
//
// One table per process, owned by nobody (it lives until the process ends).
// Clients call it from whichever thread runs their exchange; each call takes
// the table's lock only to read or replace a state and to take a count, the
// hashing runs outside it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>

#include "core/Mutex.h"
#include "http/DigestAuth.h"

namespace Web {

class CDigestNonceTable {
   public:
    static CDigestNonceTable& Instance();

    // Replaces the camera's state with `challenge`, counting from 1 again.
    void Store(const std::string& host, std::uint16_t port, std::uint32_t target,
               const DigestChallenge& challenge) EXCLUDES(m_mutex);

    // The Authorization value of one request to the camera, with the next
    // nonce count; empty when no challenge is known for it (or no hash could
    // be computed).
    std::string Sign(const std::string& host, std::uint16_t port, std::uint32_t target,
                     std::string_view userName, std::string_view password, std::string_view method,
                     std::string_view uri) EXCLUDES(m_mutex);

    // Forgets every camera; for tests that meet a new camera on a port an
    // earlier one had.
    void Clear() EXCLUDES(m_mutex);

   private:
    CDigestNonceTable() = default;

    struct State {
        DigestChallenge challenge;
        std::uint32_t nextCount = 1;
    };
    using Key = std::tuple<std::string, std::uint16_t, std::uint32_t>;

    brevane::Mutex m_mutex;
    std::map<Key, State> m_cameras GUARDED_BY(m_mutex);
};

}  // namespace Web
