#include "http/FrontServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>

#include "http/ScriptedServer.h"
#include "http/ServerProcess.h"
#include "support/TestCertificate.h"

extern char** environ;

namespace brevane::test {

namespace {

namespace fs = std::filesystem;

// "admin:camera:" followed by the MD5 of "admin:camera:secret".
constexpr const char* kDigestUsers = "admin:camera:72824d40fd91988f34136479bb7c85ff\n";
// "admin" with the SHA-1 of "secret", in Apache's {SHA} form.
constexpr const char* kBasicUsers = "admin:{SHA}5en6G6MezRroT3XKqkdPOmY/BfQ=\n";
constexpr const char* kApacheModules = "/usr/lib/apache2/modules";

bool WriteText(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

bool Installed(const std::string& program) { return ::access(program.c_str(), X_OK) == 0; }

}  // namespace

FrontServer::FrontServer(FrontServer&& other) noexcept
    : m_dir(std::exchange(other.m_dir, {})),
      m_error(std::move(other.m_error)),
      m_missing(other.m_missing),
      m_ports{other.m_ports[0], other.m_ports[1], other.m_ports[2]},
      m_pid(std::exchange(other.m_pid, -1)) {}

FrontServer::~FrontServer() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    if (!m_dir.empty()) {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
}

bool FrontServer::Prepare() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/darvik-front-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        m_error = "cannot make a temporary directory";
        return false;
    }
    m_dir = pattern;
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
    const fs::path dir(server.m_dir);
    WriteText(dir / "users.htdigest", kDigestUsers);
    WriteText(dir / "users.htpasswd", kBasicUsers);
    WriteText(dir / "cert.pem", darvik::test::kTestCertificatePem);
    WriteText(dir / "key.pem", darvik::test::kTestKeyPem);
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
    WriteText(dir / "httpd.conf", conf);
    if (!server.Launch(program, {"-f", (dir / "httpd.conf").string(), "-DFOREGROUND"}) ||
        !server.WaitListening(server.m_ports[0]) || !server.WaitListening(server.m_ports[1]) ||
        !server.WaitListening(server.m_ports[2])) {
        server.m_error = "apache2 is not listening: " + server.ReadFile("error.log") +
                         server.ReadFile("output.log");
    }
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
    const fs::path dir(server.m_dir);
    WriteText(dir / "cert.pem", darvik::test::kTestCertificatePem);
    WriteText(dir / "key.pem", darvik::test::kTestKeyPem);
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
    WriteText(dir / "nginx.conf", conf);
    if (!server.Launch(program, {"-p", d, "-c", d + "/nginx.conf", "-e", d + "/error.log"}) ||
        !server.WaitListening(server.m_ports[2])) {
        server.m_error = "nginx is not listening: " + server.ReadFile("error.log") +
                         server.ReadFile("output.log");
    }
    return server;
}

bool FrontServer::Launch(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> all{program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const std::string output = (fs::path(m_dir) / "output.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int spawned = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        m_pid = -1;
        m_error = "cannot run " + program;
        return false;
    }
    return true;
}

bool FrontServer::WaitListening(std::uint16_t port) {
    return WaitUntilListening(m_pid, port, std::chrono::seconds(20));
}

std::string FrontServer::ReadFile(const std::string& name) const {
    std::ifstream in(fs::path(m_dir) / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string FrontServer::DigestLog() const { return ReadFile("digest.log"); }
std::string FrontServer::BasicLog() const { return ReadFile("basic.log"); }
std::string FrontServer::TlsLog() const { return ReadFile("tls.log"); }

}  // namespace brevane::test
