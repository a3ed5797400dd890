// A message sink for tests: formats every line like the driver would and
// keeps it. Thread-safe.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "driver/DebugMessage.h"

namespace brevane::test {

class RecordingSink : public IDebugMessage {
   public:
    struct Line {
        int level;
        std::string text;
    };

    void DebugMessage(int level, const char* format, ...) override {
        char text[4096];
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(text, sizeof text, format, arguments);
        va_end(arguments);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back({level, text});
    }

    std::vector<Line> Lines() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

   private:
    mutable std::mutex m_mutex;
    std::vector<Line> m_lines;
};

}  // namespace brevane::test
