// The camera options several darvik-host subcommands share: --camera
// HOST[:PORT], --user, --password. Parsed into host name and port for the
// host objects.
#pragma once

#include <cstdint>
#include <string>

// CLI11 is parsed only by the sources that build commands; it costs
// seconds a file.
namespace CLI {
class App;
}  // namespace CLI

#include "kit/OpenParameters.h"

namespace darvik::cli {

struct CameraOptions {
    std::string camera = "127.0.0.1";
    std::string user;
    std::string password;

    // Filled by Resolve.
    std::string host;
    std::uint16_t port = 80;
};

void AddCameraOptions(CLI::App& command, CameraOptions& options);

// Splits "HOST[:PORT]" (also "[v6]:PORT"); the port defaults to 80 and must
// be 1..65535. False with a message in error when the text is not valid.
bool SplitCameraAddress(const std::string& text, std::string& host, std::uint16_t& port,
                        std::string& error);

// Applies SplitCameraAddress to options.camera.
bool Resolve(CameraOptions& options, std::string& error);

// Copies the resolved address, port and credentials into the connection
// settings a driver is opened with.
void ApplyConnection(const CameraOptions& options, host::OpenParameters& parameters);

}  // namespace darvik::cli
