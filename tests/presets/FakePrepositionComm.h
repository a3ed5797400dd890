// Test double of the camera's preset commands: records each command and its
// log lines (see RecordingLog), and refuses commands on request.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "presets/PrepositionComm.h"
#include "support/RecordingLog.h"

namespace brevane::test {

class FakePrepositionComm : public RecordingLog<IPrepositionComm> {
   public:
    bool SavePreposition(std::uint32_t number, const char*) override { return Record("save", number); }
    bool MoveToPreposition(std::uint32_t number, const char*, std::int32_t) override {
        return Record("move", number);
    }
    bool DeletePreposition(std::uint32_t number, const char*) override { return Record("delete", number); }

    // Commands sent since the last call, space separated ("save 0 move 0").
    std::string TakeCommands() {
        std::lock_guard<std::mutex> guard(m_mutex);
        std::string all;
        for (const auto& command : m_commands) {
            all += (all.empty() ? "" : " ") + command;
        }
        m_commands.clear();
        return all;
    }

    bool refuse = false;

   private:
    bool Record(const char* what, std::uint32_t number) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_commands.push_back(std::string(what) + " " + std::to_string(number));
        return !refuse;
    }

    std::vector<std::string> m_commands;  // guarded by m_mutex
};

}  // namespace brevane::test
