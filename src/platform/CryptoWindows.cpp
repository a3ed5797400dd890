// Windows: hashes and random bytes from the system's BCrypt provider.
// BCryptHash is newer than the systems the module supports, so the hash goes
// through a hash object.
#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "platform/Crypto.h"

namespace brevane::platform {

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

std::string HashHex(HashAlgorithm algorithm, std::string_view data) {
    BCRYPT_ALG_HANDLE provider = nullptr;
    if (!Succeeded(::BCryptOpenAlgorithmProvider(
            &provider, algorithm == HashAlgorithm::Sha256 ? BCRYPT_SHA256_ALGORITHM : BCRYPT_MD5_ALGORITHM,
            nullptr, 0))) {
        return {};
    }
    std::string text;
    DWORD length = 0;
    ULONG written = 0;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (Succeeded(::BCryptGetProperty(provider, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length),
                                      sizeof length, &written, 0)) &&
        Succeeded(::BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0))) {
        std::vector<UCHAR> value(length);
        // BCryptHashData takes no const input, but does not write to it.
        auto* input = reinterpret_cast<PUCHAR>(const_cast<char*>(data.data()));
        if (Succeeded(::BCryptHashData(hash, input, static_cast<ULONG>(data.size()), 0)) &&
            Succeeded(::BCryptFinishHash(hash, value.data(), length, 0))) {
            static constexpr char kHex[] = "0123456789abcdef";
            for (const UCHAR byte : value) {
                text += kHex[byte >> 4];
                text += kHex[byte & 0x0f];
            }
        }
        ::BCryptDestroyHash(hash);
    }
    ::BCryptCloseAlgorithmProvider(provider, 0);
    return text;
}

bool RandomBytes(void* buffer, std::size_t size) {
    return Succeeded(::BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(size),
                                       BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

}  // namespace brevane::platform
