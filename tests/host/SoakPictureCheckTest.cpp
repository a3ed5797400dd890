// The soak's structural check of delivered JPEG pictures (all a Windows
// build of the soak has): a whole baseline picture passes; a cut one, two
// glued together, a wrong size or broken segments do not.
#include "cli/SoakPictureCheck.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using darvik::cli::JpegStructureIsWhole;

void Append(Bytes& to, std::initializer_list<std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) {
        to.push_back(byte);
    }
}

// A picture of 352x288 by its structure: SOI, an APP1 segment that may hold
// a whole thumbnail, a quantisation table, the frame header, the scan header,
// scan bytes with a stuffed FF 00 and a restart, EOI.
Bytes Picture(bool thumbnail = false) {
    Bytes p{0xFF, 0xD8};
    if (thumbnail) {
        Append(p, {0xFF, 0xE1, 0x00, 0x08, 0xFF, 0xD8, 0x12, 0x34, 0xFF, 0xD9});
    }
    Append(p, {0xFF, 0xDB, 0x00, 0x04, 0x00, 0x01});
    Append(p, {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x01, 0x20, 0x01, 0x60, 0x01, 0x01, 0x11, 0x00});
    Append(p, {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
    Append(p, {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56, 0x78});
    Append(p, {0xFF, 0xD9});
    return p;
}

TEST(SoakPictureCheck, WholePicturesPassAndDamagedOnesDoNot) {
    EXPECT_TRUE(JpegStructureIsWhole(Picture(), 352, 288));
    EXPECT_TRUE(JpegStructureIsWhole(Picture(true), 352, 288));
    EXPECT_FALSE(JpegStructureIsWhole(Picture(), 352, 240)) << "another size";
    EXPECT_FALSE(JpegStructureIsWhole(Picture(), 320, 288)) << "another size";

    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Bytes whole = Picture();
    Bytes cut(whole.begin(), whole.end() - 5);
    Append(cut, {0xFF, 0xD9});
    Bytes glued(whole.begin(), whole.end() - 6);  // cut inside the scan, then the next picture
    glued.insert(glued.end(), whole.begin(), whole.end());
    Bytes headerOnly(whole.begin(), whole.begin() + 31);
    Append(headerOnly, {0xFF, 0xD9});
    Bytes overrun = whole;
    overrun[5] = 0x40;  // the table's length runs past the picture
    Bytes noFrame{0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0x12, 0xFF, 0xD9};
    Bytes early = whole;
    early.insert(early.end() - 2, {0xFF, 0xD9, 0x00});
    Bytes foreign = whole;
    foreign.insert(foreign.end() - 2, {0xFF, 0xC4, 0x00});
    Bytes noEnd(whole.begin(), whole.end() - 2);
    const Case cases[] = {{"cut, then an end marker", cut},
                          {"two pictures glued", glued},
                          {"no scan data", headerOnly},
                          {"a segment longer than the picture", overrun},
                          {"no frame header", noFrame},
                          {"an end marker inside the scan", early},
                          {"a table inside the scan", foreign},
                          {"no end marker", noEnd},
                          {"empty", Bytes{}}};
    for (const Case& c : cases) {
        EXPECT_FALSE(JpegStructureIsWhole(c.bytes, 352, 288)) << c.what;
    }
}

}  // namespace
