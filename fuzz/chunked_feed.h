// Shared by the stream fuzzers. The input's last eight bytes (when there are
// more than eight) seed the chunk sizes, the rest describes the stream: when
// its first byte is odd, the remaining bytes are taken as the stream itself;
// otherwise they are a program that composes a stream from marker-level
// pieces (see each target's Compose), so that markers, records and pictures
// appear far more often than in random bytes.
//
// Each target feeds the stream once whole and once in chunks of 1 to 300
// bytes and traps when the two runs disagree: a scanner's output must not
// depend on where the network cut the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string_view>
#include <vector>

namespace fuzzing {

using Bytes = std::vector<std::uint8_t>;

// Reads a fuzz program byte by byte; 0 once exhausted.
class Program {
   public:
    Program(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Done() const { return m_pos >= m_size; }
    std::uint8_t Next() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    // Appends up to count bytes of the program itself.
    void Copy(Bytes& out, std::size_t count) {
        while (count-- > 0 && !Done()) {
            out.push_back(Next());
        }
    }

   private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

inline void AppendText(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

// Splits the fuzz input into the stream (raw or composed) and the seed.
template <class Compose>
Bytes MakeStream(const std::uint8_t* data, std::size_t size, std::uint64_t& seed, Compose compose) {
    seed = 0;
    if (size > sizeof(seed)) {
        size -= sizeof(seed);
        std::memcpy(&seed, data + size, sizeof(seed));
    }
    if (size == 0) {
        return {};
    }
    if ((data[0] & 1) != 0) {
        return Bytes(data + 1, data + size);
    }
    Program program(data + 1, size - 1);
    Bytes stream;
    while (!program.Done()) {
        compose(program, stream);
    }
    return stream;
}

template <class Feed>
void FeedInRandomChunks(const Bytes& stream, std::uint64_t seed, Feed feed) {
    std::mt19937_64 rng(seed);
    std::size_t pos = 0;
    while (pos < stream.size()) {
        // Mostly tiny pieces, so markers get split often.
        std::size_t piece = (rng() % 4 == 0) ? 1 + rng() % 300 : 1 + rng() % 9;
        if (piece > stream.size() - pos) {
            piece = stream.size() - pos;
        }
        feed(stream.data() + pos, piece);
        pos += piece;
    }
}

}  // namespace fuzzing
