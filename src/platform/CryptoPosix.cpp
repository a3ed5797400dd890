// Linux: hashes from libcrypto's EVP interface, random bytes from getrandom.
#include <openssl/evp.h>
#include <sys/random.h>

#include <cerrno>

#include "platform/Crypto.h"

namespace brevane::platform {

std::string HashHex(HashAlgorithm algorithm, std::string_view data) {
    const EVP_MD* md = algorithm == HashAlgorithm::Sha256 ? EVP_sha256() : EVP_md5();
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), hash, &length, md, nullptr) != 1) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[hash[i] >> 4];
        text += kHex[hash[i] & 0x0f];
    }
    return text;
}

bool RandomBytes(void* buffer, std::size_t size) {
    auto* out = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const ssize_t got = ::getrandom(out, size, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        out += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace brevane::platform
