// Start-up and clean-up of the system's socket layer, paired per user: each
// camera channel starts it while it runs and cleans up what it started. On
// Windows this is Winsock (version 2.2); elsewhere there is nothing to start.
//
// Any thread may call; every successful StartNetworking needs one
// StopNetworking.
#pragma once

namespace brevane::platform {

// True when the socket layer was started for this caller.
bool StartNetworking();
void StopNetworking();

}  // namespace brevane::platform
