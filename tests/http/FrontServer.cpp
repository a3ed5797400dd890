#include "http/FrontServer.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "http/ScriptedServer.h"
#include "support/TestCertificate.h"

namespace brevane::test {

namespace {

namespace fs = std::filesystem;

// "admin:camera:" followed by the MD5 of "admin:camera:secret".
constexpr const char* kDigestUsers = "admin:camera:72824d40fd91988f34136479bb7c85ff\n";
// "admin" with the SHA-1 of "secret", in Apache's {SHA} form.
constexpr const char* kBasicUsers = "admin:{SHA}5en6G6MezRroT3XKqkdPOmY/BfQ=\n";
constexpr const char* kApacheModules = "/usr/lib/apache2/modules";

bool Installed(const std::string& program) { return ::access(program.c_str(), X_OK) == 0; }

}  // namespace

bool FrontServer::Prepare() {
    if (!m_process.MakeFolder("darvik-front")) {
        m_error = m_process.Error();
        return false;
    }
    for (std::uint16_t& port : m_ports) {
        port = ScriptedServer::UnusedPort();
    }
    return true;
}

FrontServer FrontServer::Apache(std::uint16_t backendPort) {
    FrontServer server;
    const std::string program = "/usr/sbin/apache2";
    if (!Installed(program)) {
        server.m_missing = true;
        server.m_error = "apache2 is not installed (" + program + ")";
        return server;
    }
    if (!server.Prepare()) {
        return server;
    }
    const fs::path dir(server.m_process.Folder());
    server.m_process.WriteText("users.htdigest", kDigestUsers);
    server.m_process.WriteText("users.htpasswd", kBasicUsers);
    server.m_process.WriteText("cert.pem", brevane::test::kTestCertificatePem);
    server.m_process.WriteText("key.pem", brevane::test::kTestKeyPem);
    const std::string backend = "http://127.0.0.1:" + std::to_string(backendPort) + "/";
    auto module = [](const std::string& name, const std::string& file) {
        return "LoadModule " + name + " " + kApacheModules + "/" + file + "\n";
    };
    auto host = [&](std::uint16_t port, const std::string& log, const std::string& auth) {
        return "<VirtualHost 127.0.0.1:" + std::to_string(port) + ">\n"
               "  CustomLog \"" + (dir / log).string() + "\" camera\n"
               "  <Location \"/\">\n" + auth +
               "    AuthName \"camera\"\n"
               "    Require valid-user\n"
               "  </Location>\n"
               // Flushed as it comes, so a stream is not held back.
               "  ProxyPass \"/\" \"" + backend + "\" flushpackets=on\n"
               "</VirtualHost>\n";
    };
    const std::string conf =
        "ServerRoot \"" + dir.string() + "\"\n"
        "ServerName 127.0.0.1\n"
        "Listen 127.0.0.1:" + std::to_string(server.m_ports[0]) + "\n"
        "Listen 127.0.0.1:" + std::to_string(server.m_ports[1]) + "\n"
        "Listen 127.0.0.1:" + std::to_string(server.m_ports[2]) + "\n" +
        module("mpm_event_module", "mod_mpm_event.so") + module("authn_core_module", "mod_authn_core.so") +
        module("authn_file_module", "mod_authn_file.so") + module("authz_core_module", "mod_authz_core.so") +
        module("authz_user_module", "mod_authz_user.so") + module("auth_basic_module", "mod_auth_basic.so") +
        module("auth_digest_module", "mod_auth_digest.so") + module("proxy_module", "mod_proxy.so") +
        module("proxy_http_module", "mod_proxy_http.so") + module("ssl_module", "mod_ssl.so") +
        "PidFile \"" + (dir / "httpd.pid").string() + "\"\n"
        "DefaultRuntimeDir \"" + dir.string() + "\"\n"
        "ErrorLog \"" + (dir / "error.log").string() + "\"\n"
        "LogLevel warn\n"
        "StartServers 1\n"
        "LogFormat \"%r|%>s|%{Authorization}i\" camera\n" +
        host(server.m_ports[0], "digest.log",
             "    AuthType Digest\n"
             "    AuthDigestProvider file\n"
             "    AuthUserFile \"" + (dir / "users.htdigest").string() + "\"\n") +
        host(server.m_ports[1], "basic.log",
             "    AuthType Basic\n"
             "    AuthBasicProvider file\n"
             "    AuthUserFile \"" + (dir / "users.htpasswd").string() + "\"\n") +
        "<VirtualHost 127.0.0.1:" + std::to_string(server.m_ports[2]) + ">\n"
        "  SSLEngine on\n"
        "  SSLCertificateFile \"" + (dir / "cert.pem").string() + "\"\n"
        "  SSLCertificateKeyFile \"" + (dir / "key.pem").string() + "\"\n"
        "  CustomLog \"" + (dir / "tls.log").string() + "\" camera\n"
        "  ProxyPass \"/\" \"" + backend + "\" flushpackets=on\n"
        "</VirtualHost>\n";
    server.m_process.WriteText("httpd.conf", conf);
    server.Start(program, {"-f", (dir / "httpd.conf").string(), "-DFOREGROUND"},
                 {server.m_ports[0], server.m_ports[1], server.m_ports[2]});
    return server;
}

FrontServer FrontServer::NginxHttps(std::uint16_t backendPort) {
    FrontServer server;
    const std::string program = "/usr/sbin/nginx";
    if (!Installed(program)) {
        server.m_missing = true;
        server.m_error = "nginx is not installed (" + program + ")";
        return server;
    }
    if (!server.Prepare()) {
        return server;
    }
    const fs::path dir(server.m_process.Folder());
    server.m_process.WriteText("cert.pem", brevane::test::kTestCertificatePem);
    server.m_process.WriteText("key.pem", brevane::test::kTestKeyPem);
    const std::string d = dir.string();
    const std::string conf =
        "daemon off;\n"
        "master_process off;\n"
        "pid " + d + "/nginx.pid;\n"
        "error_log " + d + "/error.log warn;\n"
        "events { worker_connections 64; }\n"
        "http {\n"
        "  log_format camera '$request|$status|$http_authorization';\n"
        "  access_log " + d + "/tls.log camera;\n"
        "  client_body_temp_path " + d + "/body;\n"
        "  proxy_temp_path " + d + "/proxy;\n"
        "  fastcgi_temp_path " + d + "/fastcgi;\n"
        "  uwsgi_temp_path " + d + "/uwsgi;\n"
        "  scgi_temp_path " + d + "/scgi;\n"
        "  server {\n"
        "    listen 127.0.0.1:" + std::to_string(server.m_ports[2]) + " ssl;\n"
        "    ssl_certificate " + d + "/cert.pem;\n"
        "    ssl_certificate_key " + d + "/key.pem;\n"
        "    location / {\n"
        "      proxy_pass http://127.0.0.1:" + std::to_string(backendPort) + ";\n"
        "      proxy_buffering off;\n"
        "      proxy_http_version 1.1;\n"
        "    }\n"
        "  }\n"
        "}\n";
    server.m_process.WriteText("nginx.conf", conf);
    server.Start(program, {"-p", d, "-c", d + "/nginx.conf", "-e", d + "/error.log"}, {server.m_ports[2]});
    return server;
}

void FrontServer::Start(const std::string& program, const std::vector<std::string>& arguments,
                        const std::vector<std::uint16_t>& ports) {
    if (!m_process.Launch(program, arguments)) {
        m_error = m_process.Error();
        return;
    }
    for (const std::uint16_t port : ports) {
        if (!m_process.WaitListening(port, std::chrono::seconds(20))) {
            m_error = fs::path(program).filename().string() + " is not listening: " +
                      m_process.ReadText("error.log") + m_process.ReadText("output.log");
            return;
        }
    }
}

std::string FrontServer::DigestLog() const { return m_process.ReadText("digest.log"); }
std::string FrontServer::BasicLog() const { return m_process.ReadText("basic.log"); }
std::string FrontServer::TlsLog() const { return m_process.ReadText("tls.log"); }

}  // namespace brevane::test
