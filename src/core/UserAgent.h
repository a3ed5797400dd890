// The User-Agent every HTTP client of the module sends to the camera.
//
// A constant; any thread may read it.
#pragma once

namespace brevane {

inline constexpr const char* kHttpUserAgent = "Brevane::HttpClient";

}  // namespace brevane
