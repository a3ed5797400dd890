// Test helpers: the targets of the requests a camera simulator received, in
// order, how often one target came, and how often it was answered.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "camsim/Simulator.h"

namespace brevane::test {

inline std::vector<std::string> RequestTargets(const darvik::camsim::Simulator& simulator) {
    std::vector<std::string> targets;
    for (const auto& entry : simulator.RequestLog()) {
        targets.push_back(entry.target);
    }
    return targets;
}

inline std::size_t CountTarget(const darvik::camsim::Simulator& simulator, const std::string& target) {
    const std::vector<std::string> targets = RequestTargets(simulator);
    return static_cast<std::size_t>(std::count(targets.begin(), targets.end(), target));
}

// Requests for the target the simulator has answered. A request is logged
// when it arrives, before the simulator takes the faults and stream script
// it answers with; its status is set once that reply was chosen and queued.
// A test that changes the faults or the script for the next request waits
// for this count, not for the arrival.
inline std::size_t CountAnswered(const darvik::camsim::Simulator& simulator, const std::string& target) {
    const auto log = simulator.RequestLog();
    return static_cast<std::size_t>(std::count_if(log.begin(), log.end(), [&](const auto& entry) {
        return entry.target == target && entry.status != 0;
    }));
}

}  // namespace brevane::test
