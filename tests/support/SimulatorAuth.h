// The authentication a simulated camera asks for in cases about something
// other than the scheme itself: Digest, except under Wine, whose WinHTTP
// accepts Digest credentials but never answers a Digest challenge, so there
// Basic keeps the case's point (credentials are needed and checked).
#pragma once

#include "camsim/Config.h"
#include "support/Wine.h"

namespace darvik::test {

inline camsim::AuthMode ChallengingAuth() {
    return RunningUnderWine() ? camsim::AuthMode::Basic : camsim::AuthMode::Digest;
}

}  // namespace darvik::test
