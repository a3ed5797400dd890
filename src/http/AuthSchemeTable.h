// The authentication scheme each camera (address and port) asked for, kept
// for the life of the process. A client that meets a camera for the first
// time sends no credentials until the camera's challenge names a scheme;
// every later client of the same camera starts with that scheme at once, so
// only the first exchange per camera and process costs a challenge.
//
// One table per process, owned by nobody (it lives until the process ends).
// Every client calls it from whichever thread runs its exchange; each call
// takes the table's lock for a lookup or a store only.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "core/Mutex.h"

namespace Web {

struct RememberedAuth {
    std::uint32_t scheme = 0;  // one kAuthScheme* bit; 0: none known
    std::uint32_t target = 0;  // kAuthTargetServer or kAuthTargetProxy
};

class CAuthSchemeTable {
   public:
    static CAuthSchemeTable& Instance();

    // What the camera at host:port last asked for; scheme 0 when unknown.
    RememberedAuth Lookup(const std::string& host, std::uint16_t port) const EXCLUDES(m_mutex);
    // Replaces what is known about host:port.
    void Remember(const std::string& host, std::uint16_t port, RememberedAuth auth) EXCLUDES(m_mutex);
    // Forgets every camera; for tests that meet a new camera on a port an
    // earlier one had.
    void Clear() EXCLUDES(m_mutex);

   private:
    CAuthSchemeTable() = default;

    mutable brevane::Mutex m_mutex;
    std::map<std::pair<std::string, std::uint16_t>, RememberedAuth> m_cameras GUARDED_BY(m_mutex);
};

}  // namespace Web
