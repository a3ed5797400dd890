// A web server program that a test starts as a child process (lighttpd,
// Apache, nginx): its own temporary folder for configuration, logs and
// content, the program started in the foreground with its output in
// output.log of that folder, the wait until it listens on loopback ports,
// and at the end the process ended and the folder removed.
//
// Owned and used by the test's own thread; the destructor sends SIGTERM,
// reaps the process and removes the folder.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace brevane::test {

class ServerProcess {
   public:
    ServerProcess() = default;
    ServerProcess(ServerProcess&& other) noexcept;
    ServerProcess& operator=(ServerProcess&&) = delete;
    ServerProcess(const ServerProcess&) = delete;
    ~ServerProcess();

    // Makes the folder, "<prefix>-XXXXXX" under $TMPDIR or /tmp. False with
    // Error() set when it cannot.
    bool MakeFolder(const std::string& prefix);
    const std::string& Folder() const { return m_folder; }
    // The path of a file of the folder.
    std::string PathOf(const std::string& name) const;
    // Writes a file of the folder, making its parent folders as needed.
    bool WriteText(const std::string& name, const std::string& content) const;
    // A file of the folder, empty when it is not there.
    std::string ReadText(const std::string& name) const;

    // Starts `program` (looked up on PATH when it has no slash) with
    // `arguments`, its stdout and stderr going to output.log of the folder.
    // False with Error() set when it cannot be started.
    bool Launch(const std::string& program, const std::vector<std::string>& arguments);
    // True once 127.0.0.1:port accepts a connection within `limit`; false
    // when the limit passes or the program exits first (it is then reaped).
    bool WaitListening(std::uint16_t port, std::chrono::seconds limit);

    const std::string& Error() const { return m_error; }

   private:
    std::string m_folder;
    std::string m_error;
    pid_t m_pid = -1;
};

}  // namespace brevane::test
