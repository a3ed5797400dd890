// The simulated camera's own Digest check, for what libmicrohttpd cannot
// check itself: a camera offering SHA-256 and MD5 as two challenges, MD5-sess
// and userhash. It issues random nonces, remembers the nonce counts each one
// was answered with (a count answered twice is refused), and recomputes every
// response with libcrypto from the camera's user, password and realm.
//
// One per simulated camera, owned by its Simulator::Impl; the camera's
// connection threads call it at once, under its own lock.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "Config.h"
#include "core/Mutex.h"

namespace darvik::camsim::server {

class CameraDigest {
   public:
    // Whether `mode` is checked here rather than by libmicrohttpd.
    static bool Handles(AuthMode mode);

    // Whether `authorization` (the whole header value) is a right answer to
    // one of this camera's nonces for `method` and `url`. `stale` is set
    // when the nonce is not (or no longer) one this camera gave.
    bool Check(const Config& config, const std::string& authorization, const std::string& method,
               const std::string& url, bool* stale) EXCLUDES(m_lock);

    // The WWW-Authenticate values of a 401, each with a fresh nonce.
    std::vector<std::string> Challenges(const Config& config, bool stale) EXCLUDES(m_lock);

   private:
    std::string IssueNonce() EXCLUDES(m_lock);

    brevane::Mutex m_lock;
    // Nonce -> the counts it was answered with.
    std::map<std::string, std::set<std::string>> m_nonces GUARDED_BY(m_lock);
};

}  // namespace darvik::camsim::server
