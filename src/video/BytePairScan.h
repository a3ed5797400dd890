// FindBytePair: finds the first place in a byte range where a given byte is
// followed by one of up to three others (0xFF then C0, D8 or D9 for the JPEG
// markers the assembler acts on; '[' then 'v' for the camera's record
// markers). Works 64 bytes at a time with SSE2 where the target has it and
// with memchr otherwise; JPEG data holds a 0xFF every few dozen bytes, so a
// memchr call per 0xFF would cost more than the scan itself.
//
// Stateless; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
// pair.seconds (both inside [0, size)); size when there is none.
inline std::size_t FindBytePair(const std::uint8_t* data, std::size_t size, std::size_t from,
                                const BytePair& pair) {
    std::size_t pos = from;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(static_cast<char>(pair.first));
    __m128i seconds[3];
    for (std::size_t i = 0; i < 3; ++i) {
        seconds[i] = _mm_set1_epi8(
            static_cast<char>(pair.seconds[i < pair.secondCount ? i : 0]));
    }
    // Pair hits among 16 first bytes at p and the 16 bytes one further on.
    auto hitsAt = [&](const std::uint8_t* p) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        __m128i secondHits = _mm_cmpeq_epi8(next, seconds[0]);
        secondHits = _mm_or_si128(secondHits, _mm_cmpeq_epi8(next, seconds[1]));
        secondHits = _mm_or_si128(secondHits, _mm_cmpeq_epi8(next, seconds[2]));
        return static_cast<std::uint64_t>(static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, first), secondHits))));
    };
    // 64 bytes per step without a branch on the (frequent) first-byte hits.
    while (pos + 65 <= size) {
        const std::uint8_t* p = data + pos;
        const std::uint64_t hits = hitsAt(p) | (hitsAt(p + 16) << 16) | (hitsAt(p + 32) << 32) |
                                   (hitsAt(p + 48) << 48);
        if (hits != 0) {
            return pos + static_cast<std::size_t>(__builtin_ctzll(hits));
        }
        pos += 64;
    }
    while (pos + 17 <= size) {
        const std::uint64_t hits = hitsAt(data + pos);
        if (hits != 0) {
            return pos + static_cast<std::size_t>(__builtin_ctzll(hits));
        }
        pos += 16;
    }
#endif
    while (pos + 1 < size) {
        const void* hit = std::memchr(data + pos, pair.first, size - 1 - pos);
        if (hit == nullptr) {
            break;
        }
        pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
        if (pair.MatchesSecond(data[pos + 1])) {
            return pos;
        }
        ++pos;
    }
    return size;
}

}  // namespace brevane
