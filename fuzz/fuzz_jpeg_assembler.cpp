// Fuzzes CJpegAssembler with arbitrary and composed streams in random chunk
// sizes.
#include <cstdint>
#include <vector>

#include "chunked_feed.h"
#include "video/JpegAssembler.h"

namespace {

// One piece of a motion-JPEG stream per program step.
void Compose(fuzzing::Program& program, fuzzing::Bytes& out) {
    switch (program.Next() % 8) {
        case 0: out.insert(out.end(), {0xFF, 0xD8}); break;  // start of image
        case 1: out.insert(out.end(), {0xFF, 0xD9}); break;  // end of image
        case 2:                                              // start of frame
            out.insert(out.end(), {0xFF, 0xC0});
            program.Copy(out, 7);
            break;
        case 3: out.insert(out.end(), {0xFF, 0xFF}); break;  // fill
        case 4: program.Copy(out, program.Next()); break;    // raw bytes
        case 5:                                              // any marker
            out.push_back(0xFF);
            out.push_back(program.Next());
            break;
        case 6:
            fuzzing::AppendText(out, "--myboundary\r\nContent-Type: image/jpeg\r\n\r\n");
            break;
        default: out.push_back(0xFF); break;
    }
}

struct Collector : brevane::IJpegReceiver {
    std::vector<std::vector<std::uint8_t>> pictures;
    void OnJpegFrame(const std::uint8_t* data, std::uint32_t size) override {
        // Every picture runs from a start-of-image to an end-of-image marker.
        if (size < 4 || data[0] != 0xFF || data[1] != 0xD8 || data[size - 2] != 0xFF ||
            data[size - 1] != 0xD9) {
            __builtin_trap();
        }
        pictures.emplace_back(data, data + size);
    }
};

struct Run {
    Collector collector;
    brevane::CJpegAssembler assembler{&collector};
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    void Finish() { assembler.GetSize(width, height); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint64_t seed = 0;
    const fuzzing::Bytes stream = fuzzing::MakeStream(data, size, seed, Compose);

    Run whole;
    whole.assembler.Feed(stream.data(), stream.size());
    whole.Finish();

    Run chunked;
    fuzzing::FeedInRandomChunks(stream, seed, [&](const std::uint8_t* piece, std::size_t length) {
        chunked.assembler.Feed(piece, length);
    });
    chunked.Finish();

    if (whole.collector.pictures != chunked.collector.pictures || whole.width != chunked.width ||
        whole.height != chunked.height) {
        __builtin_trap();
    }
    return 0;
}
