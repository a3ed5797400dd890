// The authentication a simulated camera asks for in cases about something
// other than the scheme itself: Digest, except under Wine, whose WinHTTP
// accepts Digest credentials but never answers a Digest challenge, so there
// Basic keeps the case's point (credentials are needed and checked).
#pragma once

#include "camsim/Config.h"
#include "support/Wine.h"

namespace brevane::test {

inline darvik::camsim::AuthMode ChallengingAuth() {
    return RunningUnderWine() ? darvik::camsim::AuthMode::Basic : darvik::camsim::AuthMode::Digest;
}

}  // namespace brevane::test
