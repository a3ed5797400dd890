// A web server not written here, started in front of a camera (the
// simulator, or any server on 127.0.0.1) for interoperability tests: Apache
// 2.4 with mod_auth_digest and mod_auth_basic as a reverse proxy, or nginx
// as an HTTPS front end with the committed test certificate. Each runs in
// the foreground as the current user from its own configuration in a
// temporary directory, on ephemeral ports of 127.0.0.1, and touches nothing
// of the system's own web server.
//
// The owning test thread starts and stops it; its ServerProcess ends the
// server process and removes the directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "http/ServerProcess.h"

namespace brevane::test {

class FrontServer {
   public:
    // Apache proxying to 127.0.0.1:backendPort on two ports: DigestPort()
    // asks for Digest only, BasicPort() for Basic only (user "admin",
    // password "secret", realm "camera"). Each port logs every request as
    // "request line|status|Authorization header" (DigestLog(), BasicLog()).
    // A third port, TlsPort(), speaks only TLS (the committed test
    // certificate) and asks for nothing; Apache answers plain HTTP sent to
    // it with its 400 page. It logs to TlsLog().
    static FrontServer Apache(std::uint16_t backendPort);
    // nginx on TlsPort(), speaking only TLS, proxying to 127.0.0.1:backendPort
    // unbuffered (streams pass as they come). Plain HTTP sent to it is
    // answered with nginx's 400 page.
    static FrontServer NginxHttps(std::uint16_t backendPort);

    FrontServer(FrontServer&& other) noexcept = default;
    FrontServer& operator=(FrontServer&&) = delete;
    FrontServer(const FrontServer&) = delete;
    ~FrontServer() = default;

    // Empty when the server runs; otherwise why it does not (a missing
    // program says so).
    const std::string& Error() const { return m_error; }
    // True when the program is not installed on this machine.
    bool Missing() const { return m_missing; }
    std::uint16_t DigestPort() const { return m_ports[0]; }
    std::uint16_t BasicPort() const { return m_ports[1]; }
    std::uint16_t TlsPort() const { return m_ports[2]; }
    std::string DigestLog() const;
    std::string BasicLog() const;
    // The TLS port's log, in the same form.
    std::string TlsLog() const;

   private:
    FrontServer() = default;
    bool Prepare();
    // Starts the program; sets Error() when it does not listen on `ports`.
    void Start(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<std::uint16_t>& ports);

    ServerProcess m_process;
    std::string m_error;
    bool m_missing = false;
    std::uint16_t m_ports[3] = {0, 0, 0};
};

}  // namespace brevane::test
