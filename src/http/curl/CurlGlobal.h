// One-time global initialisation of the HTTP library, done before the first
// session is made. The library stays initialised for the life of the
// process: tearing it down is not safe while other threads may still use it.
#pragma once

namespace Web {

// True when the library initialised; every later call returns the same.
bool EnsureCurlGlobalInit();

}  // namespace Web
