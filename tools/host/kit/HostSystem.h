// The few operating-system services the reference host needs beside the
// module: loading a shared library and finding its exports (dlopen/dlsym,
// LoadLibraryW/GetProcAddress), the executable's directory, whether standard
// output or standard error is a terminal, binary standard output, waiting for
// Ctrl-C, and one plain HTTP GET. One backend file per platform.
//
// Stateless apart from InterruptWait; library handles belong to the caller.
#pragma once

#include <cstdint>
#include <string>

namespace darvik::host {

// The library's handle, or null with the system's reason in *error.
void* OpenSharedLibrary(const std::string& path, std::string* error);
// The named export, or null.
void* FindSharedLibrarySymbol(void* handle, const char* name);
void CloseSharedLibrary(void* handle);

// Directory of the running executable with its trailing separator; empty
// when unknown.
std::string ExecutableDirectory();

bool StandardOutputIsTerminal();
bool StandardErrorIsTerminal();
// Standard output passes bytes unchanged (no CR before LF on Windows), for
// pictures written to it. Call before the first write.
void SetStandardOutputBinary();
// When standard output is a pipe, asks for room for 1 MiB in it (Linux; as
// far as the system allows), so a writer of whole pictures wakes its reader
// and waits for it less often. Nothing happens elsewhere or on failure.
void WidenStandardOutputPipe();

// Takes Ctrl-C (and SIGTERM on Linux) away from the default handling while
// it exists, so the program can stop its drivers cleanly. Create it before
// any thread exists; one at a time.
class InterruptWait {
   public:
    InterruptWait();
    ~InterruptWait();
    InterruptWait(const InterruptWait&) = delete;
    InterruptWait& operator=(const InterruptWait&) = delete;

    // Waits up to ms milliseconds; true when an interrupt arrived.
    bool Wait(long ms);

   private:
    struct State;
    State* m_state;
};

// The body of GET http://host:port/path (Basic or Digest credentials when
// user is not empty), or false when no 200 reply arrived within the time-out.
bool HttpGet(const std::string& host, std::uint16_t port, const std::string& path,
             const std::string& user, const std::string& password, std::string* body);

}  // namespace darvik::host
