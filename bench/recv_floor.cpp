// The floor scripts/bench-peers sets beside the readers: one GET of the
// camera stream on 127.0.0.1, and recv into one 64 KiB buffer until the
// camera ends the stream. Nothing is parsed or copied: what any reader of
// the stream must spend at the least. Prints the bytes received.
//   darvik-recv-floor PORT PATH
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PORT PATH\n", argv[0]);
        return 2;
    }
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::perror("connect");
        return 1;
    }
    const std::string request = std::string("GET ") + argv[2] + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (send(fd, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) {
        std::perror("send");
        return 1;
    }
    std::vector<char> buffer(64 * 1024);
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
        if (got <= 0) {
            break;
        }
        total += static_cast<std::uint64_t>(got);
    }
    close(fd);
    std::printf("bytes %llu\n", static_cast<unsigned long long>(total));
    return total > 0 ? 0 : 1;
}
