// Polling helper for tests: waits until a condition holds, with a generous
// upper bound so that a stuck thread or a silent camera fails the test
// instead of hanging it.
#pragma once

#include <chrono>
#include <thread>

namespace brevane::test {

template <class Condition>
bool WaitUntil(Condition condition, int timeoutMs = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace brevane::test
