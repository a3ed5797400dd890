#include "http/LighttpdServer.h"

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
#include <vector>

#include "http/ScriptedServer.h"
#include "http/ServerProcess.h"

extern char** environ;

namespace brevane::test {

namespace {

namespace fs = std::filesystem;

// "admin:camera:" followed by the MD5 of "admin:camera:secret".
// Plain passwords: lighttpd computes MD5 and SHA-256 Digest from them.
constexpr const char* kUserFileLine = "admin:secret\n";

bool WriteText(const fs::path& path, const std::string& content) {
    std::error_code ignored;
    fs::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

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

LighttpdServer::~LighttpdServer() {
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

bool LighttpdServer::WriteFile(const std::string& relativePath, const std::string& content) const {
    return WriteText(fs::path(m_dir) / "www" / relativePath, content);
}

bool LighttpdServer::Start() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/darvik-lighttpd-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        m_error = "cannot make a temporary directory";
        return false;
    }
    m_dir = pattern;
    const fs::path dir(m_dir);

    const fs::path key = dir / "server.key";
    const fs::path certificate = dir / "server.crt";
    if (Run({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
             "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key.string(), "-out",
             certificate.string(), "-days", "2", "-subj", "/CN=camera.invalid"}) != 0) {
        m_error = "openssl could not make a certificate";
        return false;
    }
    std::ifstream keyIn(key), certIn(certificate);
    std::string pem((std::istreambuf_iterator<char>(certIn)), std::istreambuf_iterator<char>());
    pem.append((std::istreambuf_iterator<char>(keyIn)), std::istreambuf_iterator<char>());
    WriteText(dir / "server.pem", pem);
    WriteText(dir / "users.plain", kUserFileLine);

    m_port = ScriptedServer::UnusedPort();
    m_tlsPort = ScriptedServer::UnusedPort();
    m_oldTlsPort = ScriptedServer::UnusedPort();
    const std::string conf =
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
    WriteText(dir / "lighttpd.conf", conf);
    WriteFile("placeholder", "");

    const std::string program = "lighttpd";
    const std::string foreground = "-D";
    const std::string file = "-f";
    const std::string confPath = (dir / "lighttpd.conf").string();
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(foreground.c_str()),
                    const_cast<char*>(file.c_str()), const_cast<char*>(confPath.c_str()), nullptr};
    if (posix_spawnp(&m_pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) {
        m_pid = -1;
        m_error = "cannot run lighttpd";
        return false;
    }
    if (!WaitListening(m_port) || !WaitListening(m_tlsPort) || !WaitListening(m_oldTlsPort)) {
        std::ifstream log(dir / "error.log");
        m_error = "lighttpd is not listening: " +
                  std::string((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
        return false;
    }
    return true;
}

bool LighttpdServer::WaitListening(std::uint16_t port) {
    return WaitUntilListening(m_pid, port, std::chrono::seconds(10));
}

}  // namespace brevane::test
