// FindBytePair: finds the first place in a byte range where a given byte is
// followed by one of up to three others (0xFF then C0, D8 or D9 for the JPEG
// markers the assembler acts on; '[' then 'v' for the camera's record
// markers). Works 64 bytes at a time with AVX2 or SSE2 where the processor
// has them and with memchr otherwise; JPEG data holds a 0xFF every few dozen
// bytes, so a memchr call per 0xFF would cost more than the scan itself.
//
// Stateless; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brevane {

struct BytePair {
    std::uint8_t first;
    std::uint8_t seconds[3];
    std::size_t secondCount;  // 1 to 3

    bool MatchesSecond(std::uint8_t byte) const {
        for (std::size_t i = 0; i < secondCount; ++i) {
            if (seconds[i] == byte) {
                return true;
            }
        }
        return false;
    }
};

// Position p >= from with data[p] == pair.first and data[p + 1] one of
// pair.seconds (both inside [0, size)); size when there is none. Uses the
// widest of the ways below that the processor has, chosen once.
std::size_t FindBytePair(const std::uint8_t* data, std::size_t size, std::size_t from,
                         const BytePair& pair);

// The ways FindBytePair chooses from, for tests that compare them: each
// gives the same answer. A way the build or the processor lacks is null.
namespace byte_pair_scan {
using Find = std::size_t (*)(const std::uint8_t*, std::size_t, std::size_t, const BytePair&);
extern const Find kPortable;  // memchr per first byte
Find Sse2();                  // 16 bytes at a time
Find Avx2();                  // 32 bytes at a time
}  // namespace byte_pair_scan

}  // namespace brevane
