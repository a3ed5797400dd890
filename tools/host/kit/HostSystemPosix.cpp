#include "kit/HostSystem.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <ctime>

namespace darvik::host {

void* OpenSharedLibrary(const std::string& path, std::string* error) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = ::dlerror();
        *error = reason != nullptr ? reason : "unknown error";
    }
    return handle;
}

void* FindSharedLibrarySymbol(void* handle, const char* name) { return ::dlsym(handle, name); }

void CloseSharedLibrary(void* handle) { ::dlclose(handle); }

std::string ExecutableDirectory() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0) {
        return {};
    }
    std::string path(buffer, static_cast<std::size_t>(length));
    path.resize(path.rfind('/') + 1);
    return path;
}

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) != 0; }

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

void SetStandardOutputBinary() {}

void WidenStandardOutputPipe() {
#if defined(F_SETPIPE_SZ)
    constexpr int kPipeBytes = 1 << 20;
    struct stat status {};
    if (::fstat(STDOUT_FILENO, &status) == 0 && S_ISFIFO(status.st_mode)) {
        ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, kPipeBytes);  // a smaller pipe still works
    }
#endif
}

// SIGINT and SIGTERM are blocked in this thread and every thread started
// after it, so only Wait takes them; the mask is restored at the end.
struct InterruptWait::State {
    sigset_t signals;
    sigset_t previous;
};

InterruptWait::InterruptWait() : m_state(new State) {
    sigemptyset(&m_state->signals);
    sigaddset(&m_state->signals, SIGINT);
    sigaddset(&m_state->signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_state->signals, &m_state->previous);
}

InterruptWait::~InterruptWait() {
    pthread_sigmask(SIG_SETMASK, &m_state->previous, nullptr);
    delete m_state;
}

bool InterruptWait::Wait(long ms) {
    timespec tick{ms / 1000, (ms % 1000) * 1000 * 1000};
    const int signal = sigtimedwait(&m_state->signals, nullptr, &tick);
    return signal == SIGINT || signal == SIGTERM;
}

namespace {

std::size_t CollectReply(char* data, std::size_t size, std::size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

}  // namespace

bool HttpGet(const std::string& host, std::uint16_t port, const std::string& path,
             const std::string& user, const std::string& password, std::string* body) {
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return false;
    }
    const std::string url = "http://" + host + ":" + std::to_string(port) + path;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CollectReply);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 5000L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    if (!user.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
    }
    long status = 0;
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    return result == CURLE_OK && status == 200;
}

}  // namespace darvik::host
