// Test helpers: the targets of the requests a camera simulator received, in
// order, and how often one target came.
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

}  // namespace brevane::test
