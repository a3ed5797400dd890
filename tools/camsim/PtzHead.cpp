#include "PtzHead.h"

#include <algorithm>

namespace darvik::camsim {

namespace {

void Move(double& value, const AxisMotion& motion, double ratePerSecond, double seconds, double low,
          double high) {
    if (!motion.Active()) {
        return;
    }
    value = std::clamp(value + motion.direction * ratePerSecond * seconds, low, high);
}

}  // namespace

PtzHead::PtzHead(Clock::time_point now) : m_last(now) {}

void PtzHead::Advance(Clock::time_point now) {
    if (now <= m_last) {
        return;
    }
    const double seconds = std::chrono::duration<double>(now - m_last).count();
    m_last = now;
    HeadPosition& p = m_state.position;
    Move(p.pan, m_state.pan, kPanTiltRatePerSpeed * m_state.pan.speed, seconds, -180.0, 180.0);
    Move(p.tilt, m_state.tilt, kPanTiltRatePerSpeed * m_state.tilt.speed, seconds, -90.0, 90.0);
    Move(p.zoom, m_state.zoom, kZoomRatePerSpeed * m_state.zoom.speed, seconds, 0.0, 100.0);
    Move(p.focus, m_state.focus, kFocusIrisRate, seconds, 0.0, 100.0);
    Move(p.iris, m_state.iris, kFocusIrisRate, seconds, 0.0, 100.0);
}

HeadState PtzHead::State(Clock::time_point now) {
    Advance(now);
    return m_state;
}

void PtzHead::Pan(int direction, int speed, Clock::time_point now) {
    Advance(now);
    m_state.pan = {direction, direction == 0 ? 0 : speed};
}

void PtzHead::Tilt(int direction, int speed, Clock::time_point now) {
    Advance(now);
    m_state.tilt = {direction, direction == 0 ? 0 : speed};
}

void PtzHead::Zoom(int direction, int speed, Clock::time_point now) {
    Advance(now);
    m_state.zoom = {direction, direction == 0 ? 0 : speed};
}

void PtzHead::Focus(int direction, Clock::time_point now) {
    Advance(now);
    m_state.focus = {direction, direction == 0 ? 0 : 1};
}

void PtzHead::Iris(int direction, Clock::time_point now) {
    Advance(now);
    m_state.iris = {direction, direction == 0 ? 0 : 1};
}

void PtzHead::MoveTo(const HeadPosition& position, Clock::time_point now) {
    Advance(now);
    m_state.position = position;
    m_state.pan = {};
    m_state.tilt = {};
    m_state.zoom = {};
}

}  // namespace darvik::camsim
