// Test double of the camera's preset commands: records each command and its
// log lines, and refuses commands on request.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "ptz/PrepositionComm.h"

namespace brevane::testing {

class FakePrepositionComm : public IPrepositionComm {
   public:
    bool SavePreposition(std::uint32_t number, const char*) override { return Record("save", number); }
    bool MoveToPreposition(std::uint32_t number, const char*, std::int32_t) override {
        return Record("move", number);
    }
    bool DeletePreposition(std::uint32_t number, const char*) override { return Record("delete", number); }

    void DebugMessage(int level, const char* format, ...) override {
        char buffer[2048];
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof(buffer), format, args);
        va_end(args);
        std::lock_guard<std::mutex> guard(m_mutex);
        lines.push_back(std::to_string(level) + " " + buffer);
    }

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
    std::vector<std::string> lines;

   private:
    bool Record(const char* what, std::uint32_t number) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_commands.push_back(std::string(what) + " " + std::to_string(number));
        return !refuse;
    }

    std::mutex m_mutex;
    std::vector<std::string> m_commands;
};

}  // namespace brevane::testing
