#include "http/LighttpdServer.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <vector>

#include "http/ScriptedServer.h"

extern char** environ;

namespace brevane::test {

namespace {

namespace fs = std::filesystem;

// Plain passwords: lighttpd computes MD5 and SHA-256 Digest from them.
constexpr const char* kUserFileLine = "admin:secret\n";

// Runs a program to its end with stdout and stderr discarded; its exit code.
int Run(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

}  // namespace

LighttpdServer::LighttpdServer() {
    if (!Start()) {
        if (m_error.empty()) {
            m_error = "lighttpd did not start";
        }
    }
}

bool LighttpdServer::WriteFile(const std::string& relativePath, const std::string& content) const {
    return m_process.WriteText("www/" + relativePath, content);
}

bool LighttpdServer::Start() {
    if (!m_process.MakeFolder("darvik-lighttpd")) {
        m_error = m_process.Error();
        return false;
    }
    if (!MakeCertificate()) {
        m_error = "openssl could not make a certificate";
        return false;
    }
    m_process.WriteText("users.plain", kUserFileLine);
    m_port = ScriptedServer::UnusedPort();
    m_tlsPort = ScriptedServer::UnusedPort();
    m_oldTlsPort = ScriptedServer::UnusedPort();
    m_process.WriteText("lighttpd.conf", Configuration());
    WriteFile("placeholder", "");

    if (!m_process.Launch("lighttpd", {"-D", "-f", m_process.PathOf("lighttpd.conf")})) {
        m_error = m_process.Error();
        return false;
    }
    for (const std::uint16_t port : {m_port, m_tlsPort, m_oldTlsPort}) {
        if (!m_process.WaitListening(port, std::chrono::seconds(10))) {
            m_error = "lighttpd is not listening: " + m_process.ReadText("error.log") +
                      m_process.ReadText("output.log");
            return false;
        }
    }
    return true;
}

// A self-signed certificate and its key in server.pem, as lighttpd reads them.
bool LighttpdServer::MakeCertificate() {
    const std::string key = m_process.PathOf("server.key");
    const std::string certificate = m_process.PathOf("server.crt");
    if (Run({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-keyout", key, "-out", certificate, "-days", "2", "-subj", "/CN=camera.invalid"}) != 0) {
        return false;
    }
    return m_process.WriteText("server.pem", m_process.ReadText("server.crt") + m_process.ReadText("server.key"));
}

std::string LighttpdServer::Configuration() const {
    const fs::path dir(m_process.Folder());
    return
        "server.modules = (\"mod_auth\", \"mod_authn_file\", \"mod_openssl\")\n"
        "server.document-root = \"" + (dir / "www").string() + "\"\n"
        "server.bind = \"127.0.0.1\"\n"
        "server.port = " + std::to_string(m_port) + "\n"
        "server.errorlog = \"" + (dir / "error.log").string() + "\"\n"
        // No pause after rejected credentials: tests provoke them on purpose.
        "server.feature-flags = (\"auth.delay-invalid-creds\" => \"disable\")\n"
        "auth.backend = \"plain\"\n"
        "auth.backend.plain.userfile = \"" + (dir / "users.plain").string() + "\"\n"
        "auth.require = (\n"
        "  \"/digest/\" => (\"method\" => \"digest\", \"realm\" => \"camera\", "
        "\"require\" => \"valid-user\"),\n"
        "  \"/sha256/\" => (\"method\" => \"digest\", \"realm\" => \"camera\", "
        "\"algorithm\" => \"SHA-256\", \"require\" => \"valid-user\"),\n"
        "  \"/basic/\" => (\"method\" => \"basic\", \"realm\" => \"camera\", "
        "\"require\" => \"valid-user\")\n"
        ")\n"
        "$SERVER[\"socket\"] == \"127.0.0.1:" + std::to_string(m_tlsPort) + "\" {\n"
        "  ssl.engine = \"enable\"\n"
        "  ssl.pemfile = \"" + (dir / "server.pem").string() + "\"\n"
        "}\n"
        // An old camera's TLS: version 1.0 only.
        "$SERVER[\"socket\"] == \"127.0.0.1:" + std::to_string(m_oldTlsPort) + "\" {\n"
        "  ssl.engine = \"enable\"\n"
        "  ssl.pemfile = \"" + (dir / "server.pem").string() + "\"\n"
        "  ssl.openssl.ssl-conf-cmd = (\"MinProtocol\" => \"TLSv1\", "
        "\"MaxProtocol\" => \"TLSv1\", \"CipherString\" => \"DEFAULT:@SECLEVEL=0\")\n"
        "}\n";
}

}  // namespace brevane::test
