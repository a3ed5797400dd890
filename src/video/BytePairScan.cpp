#include "video/BytePairScan.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// AVX2 is chosen at run time, so the module still loads on processors
// without it. Only where the stack of a 32-byte vector spilled by the
// compiler is known to be aligned: not on Windows, where GCC does not align
// it.
#if defined(__x86_64__) && !defined(_WIN32) && (defined(__GNUC__) || defined(__clang__))
#define BREVANE_SCAN_AVX2 1
#include <immintrin.h>
#endif

namespace brevane {
namespace {

// From pos on, one byte at a time between memchr calls for the first byte.
std::size_t FindFromWithMemchr(const std::uint8_t* data, std::size_t size, std::size_t pos,
                               const BytePair& pair) {
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

std::size_t FindPortable(const std::uint8_t* data, std::size_t size, std::size_t from,
                         const BytePair& pair) {
    return FindFromWithMemchr(data, size, from, pair);
}

#if defined(__SSE2__)
// Pair hits among the 16 first bytes at p, judged with the 16 bytes one
// further on: bit i is set when p[i] and p[i + 1] form the pair.
struct Sse2Pair {
    __m128i first;
    __m128i seconds[3];

    explicit Sse2Pair(const BytePair& pair) : first(_mm_set1_epi8(static_cast<char>(pair.first))) {
        for (std::size_t i = 0; i < 3; ++i) {
            seconds[i] = _mm_set1_epi8(
                static_cast<char>(pair.seconds[i < pair.secondCount ? i : 0]));
        }
    }

    std::uint64_t HitsAt(const std::uint8_t* p) const {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        __m128i secondHits = _mm_cmpeq_epi8(next, seconds[0]);
        secondHits = _mm_or_si128(secondHits, _mm_cmpeq_epi8(next, seconds[1]));
        secondHits = _mm_or_si128(secondHits, _mm_cmpeq_epi8(next, seconds[2]));
        return static_cast<std::uint64_t>(static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, first), secondHits))));
    }
};

// From pos on in 16-byte steps, the rest byte by byte.
std::size_t FindFromWithSse2(const std::uint8_t* data, std::size_t size, std::size_t pos,
                             const BytePair& pair, const Sse2Pair& vectors) {
    while (pos + 17 <= size) {
        const std::uint64_t hits = vectors.HitsAt(data + pos);
        if (hits != 0) {
            return pos + static_cast<std::size_t>(__builtin_ctzll(hits));
        }
        pos += 16;
    }
    return FindFromWithMemchr(data, size, pos, pair);
}

std::size_t FindSse2(const std::uint8_t* data, std::size_t size, std::size_t from,
                     const BytePair& pair) {
    const Sse2Pair vectors(pair);
    std::size_t pos = from;
    // 64 bytes per step without a branch on the (frequent) first-byte hits.
    while (pos + 65 <= size) {
        const std::uint8_t* p = data + pos;
        const std::uint64_t hits = vectors.HitsAt(p) | (vectors.HitsAt(p + 16) << 16) |
                                   (vectors.HitsAt(p + 32) << 32) | (vectors.HitsAt(p + 48) << 48);
        if (hits != 0) {
            return pos + static_cast<std::size_t>(__builtin_ctzll(hits));
        }
        pos += 64;
    }
    return FindFromWithSse2(data, size, pos, pair, vectors);
}
#endif

#if defined(BREVANE_SCAN_AVX2)
// Pair hits among the 32 first bytes at p, as Sse2Pair does for 16.
__attribute__((target("avx2"))) inline std::uint64_t Avx2HitsAt(const std::uint8_t* p, __m256i first,
                                                                const __m256i (&seconds)[3]) {
    const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    __m256i secondHits = _mm256_cmpeq_epi8(next, seconds[0]);
    secondHits = _mm256_or_si256(secondHits, _mm256_cmpeq_epi8(next, seconds[1]));
    secondHits = _mm256_or_si256(secondHits, _mm256_cmpeq_epi8(next, seconds[2]));
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(here, first), secondHits))));
}

__attribute__((target("avx2"))) std::size_t FindAvx2(const std::uint8_t* data, std::size_t size,
                                                     std::size_t from, const BytePair& pair) {
    const __m256i first = _mm256_set1_epi8(static_cast<char>(pair.first));
    const __m256i seconds[3] = {
        _mm256_set1_epi8(static_cast<char>(pair.seconds[0])),
        _mm256_set1_epi8(static_cast<char>(pair.seconds[pair.secondCount > 1 ? 1 : 0])),
        _mm256_set1_epi8(static_cast<char>(pair.seconds[pair.secondCount > 2 ? 2 : 0]))};
    std::size_t pos = from;
    while (pos + 65 <= size) {
        const std::uint64_t hits =
            Avx2HitsAt(data + pos, first, seconds) | (Avx2HitsAt(data + pos + 32, first, seconds) << 32);
        if (hits != 0) {
            return pos + static_cast<std::size_t>(__builtin_ctzll(hits));
        }
        pos += 64;
    }
    return FindFromWithSse2(data, size, pos, pair, Sse2Pair(pair));
}
#endif

byte_pair_scan::Find Widest() {
    if (byte_pair_scan::Find avx2 = byte_pair_scan::Avx2()) {
        return avx2;
    }
    if (byte_pair_scan::Find sse2 = byte_pair_scan::Sse2()) {
        return sse2;
    }
    return byte_pair_scan::kPortable;
}

}  // namespace

std::size_t FindBytePair(const std::uint8_t* data, std::size_t size, std::size_t from,
                         const BytePair& pair) {
    static const byte_pair_scan::Find find = Widest();
    return find(data, size, from, pair);
}

namespace byte_pair_scan {

const Find kPortable = &FindPortable;

Find Sse2() {
#if defined(__SSE2__)
    return &FindSse2;
#else
    return nullptr;
#endif
}

Find Avx2() {
#if defined(BREVANE_SCAN_AVX2)
    return __builtin_cpu_supports("avx2") ? &FindAvx2 : nullptr;
#else
    return nullptr;
#endif
}

}  // namespace byte_pair_scan
}  // namespace brevane
