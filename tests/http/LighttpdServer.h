// A lighttpd instance for interoperability tests, started on 127.0.0.1 with
// ephemeral ports in a temporary directory: static CGI-style replies, a
// Digest-protected and a Basic-protected folder (one htdigest user file,
// user "admin", password "secret", realm "camera"), and two more sockets
// with TLS on a self-signed certificate made with the openssl command (one
// current, one limited to TLS 1.0).
//
// The owning test thread starts and stops it; its ServerProcess ends the
// server process and removes the directory.
#pragma once

#include <cstdint>
#include <string>

#include "http/ServerProcess.h"

namespace brevane::test {

class LighttpdServer {
   public:
    LighttpdServer();
    LighttpdServer(const LighttpdServer&) = delete;
    LighttpdServer& operator=(const LighttpdServer&) = delete;

    // Empty when the server runs; otherwise why it does not.
    const std::string& Error() const { return m_error; }
    std::uint16_t Port() const { return m_port; }
    std::uint16_t TlsPort() const { return m_tlsPort; }
    // TLS 1.0 only, as older cameras offer it.
    std::uint16_t OldTlsPort() const { return m_oldTlsPort; }
    // Writes a file below the document root (folders are made as needed).
    bool WriteFile(const std::string& relativePath, const std::string& content) const;

   private:
    bool Start();
    bool MakeCertificate();
    std::string Configuration() const;

    ServerProcess m_process;
    std::string m_error;
    std::uint16_t m_port = 0;
    std::uint16_t m_tlsPort = 0;
    std::uint16_t m_oldTlsPort = 0;
};

}  // namespace brevane::test
