#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "video/BytePairScan.h"

namespace brevane {
namespace {

std::size_t NaiveFind(const std::vector<std::uint8_t>& data, std::size_t from, const BytePair& pair) {
    for (std::size_t i = from; i + 1 < data.size(); ++i) {
        if (data[i] == pair.first && pair.MatchesSecond(data[i + 1])) {
            return i;
        }
    }
    return data.size();
}

// FindBytePair itself and every way it may choose that this processor has.
std::vector<std::pair<const char*, byte_pair_scan::Find>> Ways() {
    std::vector<std::pair<const char*, byte_pair_scan::Find>> ways{{"chosen", &FindBytePair},
                                                                     {"portable", byte_pair_scan::kPortable}};
    if (byte_pair_scan::Sse2() != nullptr) {
        ways.emplace_back("sse2", byte_pair_scan::Sse2());
    }
    if (byte_pair_scan::Avx2() != nullptr) {
        ways.emplace_back("avx2", byte_pair_scan::Avx2());
    }
    return ways;
}

// Hits at every distance from the start and the end, across the 16- and
// 64-byte steps, agree with a byte-by-byte search.
TEST(BytePairScan, AgreesWithByteByByteSearch) {
    const BytePair jpeg{0xFF, {0xC0, 0xD8, 0xD9}, 3};
    const BytePair record{'[', {'v'}, 1};
    std::mt19937 rng(3);
    for (std::size_t size = 0; size < 200; ++size) {
        std::vector<std::uint8_t> data(size);
        for (auto& byte : data) {
            // Dense in the bytes that matter, so pairs, lone first bytes and
            // pairs cut by the end all occur.
            const std::uint8_t alphabet[] = {0xFF, 0xD8, 0xD9, 0xC0, 0x00, '[', 'v', 0x42};
            byte = rng() % 4 == 0 ? static_cast<std::uint8_t>(rng()) : alphabet[rng() % 8];
        }
        for (const auto& [name, find] : Ways()) {
            for (std::size_t from = 0; from <= size; ++from) {
                ASSERT_EQ(find(data.data(), size, from, jpeg), NaiveFind(data, from, jpeg))
                    << name << " size " << size << " from " << from;
                ASSERT_EQ(find(data.data(), size, from, record), NaiveFind(data, from, record))
                    << name << " size " << size << " from " << from;
            }
        }
    }
}

TEST(BytePairScan, FindsASinglePairAtEveryPosition) {
    const BytePair jpeg{0xFF, {0xC0, 0xD8, 0xD9}, 3};
    for (const auto& [name, find] : Ways()) {
        for (std::size_t size : {2u, 17u, 33u, 64u, 65u, 97u, 130u}) {
            for (std::size_t at = 0; at + 1 < size; ++at) {
                std::vector<std::uint8_t> data(size, 0xFF);  // first bytes everywhere
                data[at + 1] = 0xD9;
                ASSERT_EQ(find(data.data(), size, 0, jpeg), at) << name << " " << size << " " << at;
            }
            std::vector<std::uint8_t> data(size, 0xFF);
            EXPECT_EQ(find(data.data(), size, 0, jpeg), size) << name;
        }
    }
}

}  // namespace
}  // namespace brevane
