// The darvik-camsim program: prints where it listens, serves, and ends
// cleanly on SIGTERM; as a farm, makes and drives simulators on request and
// ends when its standard input does.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "HttpFetch.h"

namespace {

using brevane::test::Fetch;

struct Child {
    pid_t pid = -1;
    FILE* out = nullptr;
    int in = -1;  // the child's standard input
};

Child Spawn(const std::vector<std::string>& args) {
    int pipeFds[2];
    int inFds[2];
    if (pipe(pipeFds) != 0 || pipe(inFds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        dup2(inFds[0], STDIN_FILENO);
        for (int fd : {pipeFds[0], pipeFds[1], inFds[0], inFds[1]}) close(fd);
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    close(inFds[0]);
    return {pid, fdopen(pipeFds[0], "r"), inFds[1]};
}

std::string ReadLine(FILE* file) {
    char line[512];
    if (fgets(line, sizeof line, file) == nullptr) return "";
    std::string text(line);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// Waits up to `limit` for the child to end; its exit status, or -1.
int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ProgramTest, PrintsUrlsServesAndStopsOnSigterm) {
    Child child = Spawn({DARVIK_CAMSIM_PATH, "--standard", "ntsc", "--inputs", "2", "--stall",
                         "--fault-path", "/cgi-bin/get?mpg", "--status", "/cgi-bin/get?aud=503"});
    ASSERT_GT(child.pid, 0);
    const std::string camera = ReadLine(child.out);
    const std::string control = ReadLine(child.out);
    ASSERT_EQ(camera.rfind("Camera:  http://127.0.0.1:", 0), 0u) << camera;
    ASSERT_EQ(control.rfind("Control: http://127.0.0.1:", 0), 0u) << control;
    const std::string cameraUrl = camera.substr(9);
    const std::string controlUrl = control.substr(9);

    auto sys = Fetch(cameraUrl + "/cgi-bin/get?sys");
    EXPECT_EQ(sys.status, 200);
    EXPECT_NE(sys.body.find("s_ssta:00\r\n"), std::string::npos);
    EXPECT_EQ(Fetch(cameraUrl + "/cgi-bin/get?aud").status, 503);
    EXPECT_EQ(Fetch(controlUrl + "inputs").status, 200);

    // A stalled reply open while the signal comes must not hold the exit.
    std::thread stalled([&] {
        brevane::test::FetchOptions options;
        options.timeoutMs = 5000;
        Fetch(cameraUrl + "/cgi-bin/get?mpg", options);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitExit(child.pid, std::chrono::milliseconds(3000)), 0);
    stalled.join();
    fclose(child.out);
    close(child.in);
}

TEST(ProgramTest, RejectsBadArguments) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{DARVIK_CAMSIM_PATH, "--status", "/cgi-bin/get?sys"},
          std::vector<std::string>{DARVIK_CAMSIM_PATH, "--toggle", "1-2"},
          std::vector<std::string>{DARVIK_CAMSIM_PATH, "--stream-chunks", "1,0"},
          std::vector<std::string>{DARVIK_CAMSIM_PATH, "--auth", "kerberos"},
          std::vector<std::string>{DARVIK_CAMSIM_PATH, "--max-connections", "0"},
          std::vector<std::string>{DARVIK_CAMSIM_PATH, "--toggle", "9:1"}}) {
        Child child = Spawn(args);
        ASSERT_GT(child.pid, 0);
        EXPECT_NE(WaitExit(child.pid, std::chrono::milliseconds(3000)), 0) << args[1] << " " << args[2];
        fclose(child.out);
        close(child.in);
    }
}

// A host with a thousand channels: its connections sit on descriptors past
// 1024 in the simulator, and all of them are served at once. The simulator
// starts with the usual soft limit of 1024 descriptors and must raise it.
TEST(ProgramTest, ServesMoreConnectionsThanSelectCanWatch) {
    constexpr int kIdle = 1100;
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const rlimit given = limit;
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_cur, 1024);
    setrlimit(RLIMIT_NOFILE, &limit);
    Child child = Spawn({DARVIK_CAMSIM_PATH, "--no-control"});
    setrlimit(RLIMIT_NOFILE, &given);
    ASSERT_GT(child.pid, 0);
    const std::string camera = ReadLine(child.out);
    ASSERT_EQ(camera.rfind("Camera:  http://127.0.0.1:", 0), 0u) << camera;
    const std::string cameraUrl = camera.substr(9);

    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
    std::vector<int> idle;
    if (limit.rlim_cur >= kIdle + 100) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(std::stoi(cameraUrl.substr(cameraUrl.rfind(':') + 1))));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bool connected = true;
        for (int i = 0; i < kIdle && connected; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM, 0);
            connected = fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
            EXPECT_TRUE(connected) << "connection " << i;
            if (fd >= 0) idle.push_back(fd);
        }
        // Accepted after all the idle ones, so on a descriptor past them.
        brevane::test::FetchOptions options;
        options.timeoutMs = 30000;
        const auto sys = Fetch(cameraUrl + "/cgi-bin/get?sys", options);
        EXPECT_EQ(sys.status, 200) << "with " << kIdle << " connections open";
    }
    for (int fd : idle) close(fd);
    kill(child.pid, SIGTERM);
    EXPECT_EQ(WaitExit(child.pid, std::chrono::milliseconds(10000)), 0);
    fclose(child.out);
    close(child.in);
    if (idle.empty()) {
        GTEST_SKIP() << "this process may not open " << kIdle << " descriptors";
    }
}

TEST(ProgramTest, FarmMakesDrivesAndDeletesSimulatorsAndEndsWithItsInput) {
    Child child = Spawn({DARVIK_CAMSIM_PATH, "--farm"});
    ASSERT_GT(child.pid, 0);
    const std::string line = ReadLine(child.out);
    ASSERT_EQ(line.rfind("Farm: http://127.0.0.1:", 0), 0u) << line;
    const std::string farm = line.substr(6);
    auto post = [&](const std::string& path, const std::string& body = "") {
        brevane::test::FetchOptions options;
        options.method = "POST";
        options.body = body;
        return Fetch(farm + path, options);
    };

    EXPECT_EQ(post("/simulators", R"({"config": {"inputCount": 2, "faults": {"stall": 1}}})").status, 400);
    auto made = post("/simulators", R"({"config": {"productId": "077", "inputCount": 2,
        "faults": {"pathStatus": [{"prefix": "/cgi-bin/get?aud", "status": 503}]}},
        "streamScript": {"body": "0001ff", "repeat": false}})");
    ASSERT_EQ(made.status, 201) << made.body;
    const std::string camera = nlohmann::json::parse(made.body)["url"];
    EXPECT_NE(Fetch(camera + "/cgi-bin/get?sys").body.find("s_prid:077\r\ns_name"), std::string::npos);
    EXPECT_EQ(Fetch(camera + "/cgi-bin/get?aud").status, 503);
    EXPECT_EQ(Fetch(camera + "/cgi-bin/get?jpgl").body, std::string("\x00\x01\xff", 3));

    // Its control interface under the farm; its state outlives a restart.
    EXPECT_EQ(post("/simulators/1/control/inputs/flip?input=1").status, 200);
    EXPECT_EQ(post("/simulators/1/stop").status, 200);
    EXPECT_NE(Fetch(farm + "/simulators/1").body.find("\"running\": false"), std::string::npos);
    EXPECT_EQ(post("/simulators/1/start").status, 200);
    EXPECT_NE(Fetch(farm + "/simulators/1/control/inputs").body.find("\"s_ssta\": \"01\""), std::string::npos);

    brevane::test::FetchOptions del;
    del.method = "DELETE";
    EXPECT_EQ(Fetch(farm + "/simulators/1", del).status, 200);
    EXPECT_EQ(Fetch(farm + "/simulators/1/control/inputs").status, 404);

    close(child.in);
    EXPECT_EQ(WaitExit(child.pid, std::chrono::milliseconds(3000)), 0);
    fclose(child.out);
}

}  // namespace
