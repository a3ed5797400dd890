// Sockets need no start-up on Linux.
#include "platform/Network.h"

namespace brevane::platform {

bool StartNetworking() { return true; }
void StopNetworking() {}

}  // namespace brevane::platform
