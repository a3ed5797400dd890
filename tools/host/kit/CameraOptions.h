// The camera a host talks to: its address HOST[:PORT] as given, the user
// name and password, and the host name and port parsed from the address for
// the host objects. darvik-host's subcommands and the console fill it from
// their options; the parsing and the copy into the open parameters are here.
//
// A plain value; used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "kit/OpenParameters.h"

namespace darvik::host {

struct CameraOptions {
    std::string camera = "127.0.0.1";
    std::string user;
    std::string password;

    // Filled by Resolve.
    std::string host;
    std::uint16_t port = 80;
};

// Splits "HOST[:PORT]" (also "[v6]:PORT"); the port defaults to 80 and must
// be 1..65535. False with a message in error when the text is not valid.
bool SplitCameraAddress(const std::string& text, std::string& host, std::uint16_t& port,
                        std::string& error);

// Applies SplitCameraAddress to options.camera.
bool Resolve(CameraOptions& options, std::string& error);

// Copies the resolved address, port and credentials into the connection
// settings a driver is opened with.
void ApplyConnection(const CameraOptions& options, OpenParameters& parameters);

}  // namespace darvik::host
