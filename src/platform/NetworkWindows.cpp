// Winsock start-up and clean-up (version 2.2), counted by Winsock itself.
#include "platform/Network.h"

#include <winsock2.h>

namespace brevane::platform {

bool StartNetworking() {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void StopNetworking() { ::WSACleanup(); }

}  // namespace brevane::platform
