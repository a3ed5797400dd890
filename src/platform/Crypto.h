// Hashes and random bytes from the operating system's cryptography: the
// Digest authentication of the HTTP client computes its responses and client
// nonces with them. One backend file per platform (the system's BCrypt on
// Windows, libcrypto and getrandom on Linux).
//
// Free functions without state of their own; callable from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brevane::platform {

enum class HashAlgorithm { Md5, Sha256 };

// The hash of `data` in lower-case hexadecimal; empty when the system could
// not compute it.
std::string HashHex(HashAlgorithm algorithm, std::string_view data);

// Fills `buffer` with random bytes fit for nonces; false when the system
// could not provide them (the buffer is then left undefined).
bool RandomBytes(void* buffer, std::size_t size);

// `size` random bytes in lower-case hexadecimal; empty on failure.
std::string RandomHex(std::size_t size);

}  // namespace brevane::platform
