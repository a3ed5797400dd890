// PtzHead: the simulated pan/tilt/zoom head with focus and iris. Motions run
// while active; positions advance with the time that passed, so nothing has
// to tick in the background. Every operation takes the current time, which
// keeps the head deterministic under test.
//
// Owned by CameraModel and used under its lock; not thread-safe by itself.
#pragma once

#include <chrono>

#include "Config.h"

namespace darvik::camsim {

class PtzHead {
   public:
    using Clock = std::chrono::steady_clock;

    // Units per second for one unit of command speed (pan and tilt in
    // degrees, zoom in percent) and the fixed rate of focus and iris.
    static constexpr double kPanTiltRatePerSpeed = 6.0;
    static constexpr double kZoomRatePerSpeed = 3.0;
    static constexpr double kFocusIrisRate = 25.0;

    explicit PtzHead(Clock::time_point now);

    // The head as it stands at `now`.
    HeadState State(Clock::time_point now);

    // direction: -1, 0 or +1; a 0 direction stops the axis.
    void Pan(int direction, int speed, Clock::time_point now);
    void Tilt(int direction, int speed, Clock::time_point now);
    void Zoom(int direction, int speed, Clock::time_point now);
    void Focus(int direction, Clock::time_point now);
    void Iris(int direction, Clock::time_point now);

    // Jumps to a stored position; pan, tilt and zoom motions end.
    void MoveTo(const HeadPosition& position, Clock::time_point now);

   private:
    void Advance(Clock::time_point now);

    HeadState m_state;
    Clock::time_point m_last;
};

}  // namespace darvik::camsim
