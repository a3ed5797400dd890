// Realistic camera streams for the benchmarks: a motion-JPEG multipart
// response of pictures encoded with libjpeg-turbo from a moving, noisy test
// pattern, and the camera's MPEG record stream with payloads of MPEG-4-like
// entropy (key frames every 25 frames, about five times the size of the
// others).
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

using Bytes = std::vector<std::uint8_t>;

// One JPEG picture of width x height for frame number frame.
Bytes EncodeTestPicture(int width, int height, int frame, int quality);

// A multipart/x-mixed-replace body of count pictures of width x height.
Bytes MakeMjpegStream(int width, int height, int count);

// count camera records, the first a key frame.
Bytes MakeMpegStream(int count);

}  // namespace bench
