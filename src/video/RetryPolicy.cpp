#include "video/RetryPolicy.h"

#include <algorithm>
#include <chrono>
#include <functional>

namespace brevane {

RetryPolicy::RetryPolicy(const Schedule& schedule, std::uint32_t seed) : m_schedule(schedule) {
    // The generator's first numbers follow the seed closely; seeds that are
    // near each other must still give unrelated waits.
    std::seed_seq scrambled{seed};
    m_random.seed(scrambled);
}

std::uint32_t RetryPolicy::SeedFor(const std::string& address, std::uint32_t channelIndex) {
    const auto clock = static_cast<std::uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    const std::uint64_t mixed = std::hash<std::string>{}(address) ^
                                (std::uint64_t{channelIndex} * 0x9E3779B97F4A7C15ull) ^ clock;
    return static_cast<std::uint32_t>(mixed ^ (mixed >> 32));
}

void RetryPolicy::Reset() {
    m_failures = 0;
    m_connected = false;
    m_good = false;
    m_sawPicture = false;
}

void RetryPolicy::OnConnected() {
    m_connected = true;
    m_good = false;
    m_sawPicture = false;
}

bool RetryPolicy::OnPicture(std::uint64_t nowMs) {
    if (!m_connected || m_good) {
        return false;
    }
    if (!m_sawPicture) {
        m_sawPicture = true;
        m_firstPictureMs = nowMs;
        return false;
    }
    if (nowMs - m_firstPictureMs < kGoodStreamMs) {
        return false;
    }
    m_good = true;
    m_failures = 0;
    return true;
}

void RetryPolicy::OnFailure() {
    if (!m_good && m_failures < UINT32_MAX) {
        ++m_failures;
    }
    m_connected = false;
    m_good = false;
}

std::uint32_t RetryPolicy::BaseWaitMs() const {
    if (m_failures <= m_schedule.quickCount) {
        return std::min(m_schedule.quickMs, kMaxWaitMs);
    }
    std::uint64_t wait = m_schedule.slowMs;
    for (std::uint32_t i = m_schedule.quickCount + 1; i < m_failures && wait < kMaxWaitMs; ++i) {
        wait *= 2;
    }
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(wait, kMaxWaitMs));
}

std::uint32_t RetryPolicy::NextWaitMs() {
    const std::uint32_t base = BaseWaitMs();
    const std::int64_t spread = std::int64_t{base} * kSpreadPercent / 100;
    std::uniform_int_distribution<std::int64_t> offset(-spread, spread);
    return static_cast<std::uint32_t>(std::int64_t{base} + offset(m_random));
}

}  // namespace brevane
