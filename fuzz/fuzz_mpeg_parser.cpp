// Fuzzes CMpegParser with arbitrary and composed streams in random chunk
// sizes.
#include <cstdint>
#include <vector>

#include "chunked_feed.h"
#include "video/MpegParser.h"

namespace {

void AppendLength(fuzzing::Bytes& out, std::uint32_t length) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
    }
}

// A record around a payload of the program's bytes that opens with a video
// object plane start code; delta shifts its length field.
void AppendRecord(fuzzing::Program& program, fuzzing::Bytes& out, std::int32_t delta) {
    fuzzing::Bytes payload = {0x00, 0x00, 0x01, 0xB6, program.Next()};
    program.Copy(payload, program.Next());
    fuzzing::AppendText(out, "[vgvdbs]");
    AppendLength(out, static_cast<std::uint32_t>(static_cast<std::int64_t>(payload.size()) + delta));
    out.insert(out.end(), 268, 0);
    out.insert(out.end(), payload.begin(), payload.end());
    fuzzing::AppendText(out, "[vgvdbe]");
}

// One piece of the camera's record stream per program step.
void Compose(fuzzing::Program& program, fuzzing::Bytes& out) {
    switch (program.Next() % 8) {
        case 0:  // start marker with any sixth byte
            fuzzing::AppendText(out, "[vgvd");
            out.push_back(program.Next());
            fuzzing::AppendText(out, "s]");
            break;
        case 1: fuzzing::AppendText(out, "[vgvdbe]"); break;
        case 2: AppendRecord(program, out, 0); break;
        case 3: AppendRecord(program, out, static_cast<std::int8_t>(program.Next())); break;
        case 4: program.Copy(out, program.Next()); break;  // raw bytes
        case 5:                                            // header with any length
            out.insert(out.end(), 4, 0);
            program.Copy(out, 4);
            out.insert(out.end(), 272, 0);
            break;
        case 6:  // marker lookalike
            fuzzing::AppendText(out, "[vgvd");
            program.Copy(out, 3);
            break;
        default:  // start code and coding type
            out.insert(out.end(), {0x00, 0x00, 0x01, 0xB6});
            out.push_back(program.Next());
            break;
    }
}

struct Frame {
    std::vector<std::uint8_t> payload;
    bool key;
    bool operator==(const Frame&) const = default;
};

// Refuses every fifth frame, so the key-frame wait after a refusal is
// exercised as well.
struct Client : brevane::IMpegParserClient {
    std::vector<Frame> frames;
    unsigned offered = 0;
    bool OnMpegFrame(const std::uint8_t* payload, std::uint32_t size, bool keyFrame) override {
        if (payload == nullptr && size != 0) {
            __builtin_trap();
        }
        const bool accept = (++offered % 5) != 0;
        if (accept) {
            frames.push_back({std::vector<std::uint8_t>(payload, payload + size), keyFrame});
        }
        return accept;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint64_t seed = 0;
    const fuzzing::Bytes stream = fuzzing::MakeStream(data, size, seed, Compose);

    Client whole;
    brevane::CMpegParser wholeParser(&whole);
    wholeParser.Feed(stream.data(), stream.size());

    Client chunked;
    brevane::CMpegParser chunkedParser(&chunked);
    fuzzing::FeedInRandomChunks(stream, seed, [&](const std::uint8_t* piece, std::size_t length) {
        chunkedParser.Feed(piece, length);
    });

    if (whole.frames != chunked.frames ||
        wholeParser.IsWaitingForKeyFrame() != chunkedParser.IsWaitingForKeyFrame()) {
        __builtin_trap();
    }
    return 0;
}
