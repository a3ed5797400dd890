// Feeds arbitrary bytes to the PE version reader: it must never read outside
// the input, whatever the headers and the resource tree claim.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/PeVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto version = brevane::platform::ReadProductVersionFromImage(std::span(data, size));
    if (version && version->major == 0xFFFF && version->minor == 0xFFFF) {
        // Keeps the result observable so the call cannot be optimised away.
        return 0;
    }
    return 0;
}
