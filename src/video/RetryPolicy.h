// RetryPolicy: how long a camera channel waits before it tries its camera
// again. Each channel keeps its own retry intervals as the base; every
// failure in a row past the quick ones doubles the wait, up to kMaxWaitMs,
// and every wait is spread at random by up to kSpreadPercent either way, so
// that many channels of one dead camera farm do not retry in lock step. A
// connection counts as good only once it delivered pictures for
// kGoodStreamMs; until then its end is a failure like a refused connection,
// so a camera that drops the stream after every picture backs off too.
//
// Owned by one channel and used only by its worker thread. Time comes in as
// arguments and the randomness from the seed, so the arithmetic runs without
// threads or clocks.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace brevane {

class RetryPolicy {
   public:
    static constexpr std::uint32_t kMaxWaitMs = 60000;
    static constexpr std::uint32_t kGoodStreamMs = 10000;
    static constexpr std::uint32_t kSpreadPercent = 20;

    struct Schedule {
        std::uint32_t quickMs;      // wait before the first attempt and after the first failures
        std::uint32_t quickCount;   // failures in a row that are followed by quickMs
        std::uint32_t slowMs;       // wait after the next failure; doubles with each further one
    };

    RetryPolicy(const Schedule& schedule, std::uint32_t seed);

    // A seed that differs between channels and between runs.
    static std::uint32_t SeedFor(const std::string& address, std::uint32_t channelIndex);

    // Back to the start: no failures, no connection (a new worker run).
    void Reset();
    // A connection was made; its pictures decide whether it becomes good.
    void OnConnected();
    // A picture arrived at `nowMs` (any monotonic clock). True exactly when
    // this picture made the connection good: the failures are forgotten.
    bool OnPicture(std::uint64_t nowMs);
    // The attempt failed or the connection ended; counts unless it was good.
    void OnFailure();

    std::uint32_t Failures() const { return m_failures; }
    // The wait for the current failure count, without the spread.
    std::uint32_t BaseWaitMs() const;
    // The wait before the next attempt, spread at random.
    std::uint32_t NextWaitMs();

   private:
    const Schedule m_schedule;
    std::minstd_rand m_random;
    std::uint32_t m_failures = 0;
    bool m_connected = false;
    bool m_good = false;
    bool m_sawPicture = false;
    std::uint64_t m_firstPictureMs = 0;
};

}  // namespace brevane
