// RecordingLog<Interface>: implements the DebugMessage of any interface built
// on IDebugMessage by formatting the line as the driver would and keeping it
// with its level, so tests can read the lines, search them or wait for them.
// RecordingSink is the bare message sink.
//
// Thread-safe: the module's objects log from their own threads. m_mutex
// guards the lines and may guard a derived double's own state too.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/DebugMessage.h"

namespace brevane::test {

struct LogLine {
    int level;
    std::string text;
};

template <class Interface>
class RecordingLog : public Interface {
   public:
    void DebugMessage(int level, const char* format, ...) override {
        va_list arguments;
        va_start(arguments, format);
        va_list measuring;
        va_copy(measuring, arguments);
        const int length = std::vsnprintf(nullptr, 0, format, measuring);
        va_end(measuring);
        std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
        std::vsnprintf(text.data(), text.size() + 1, format, arguments);
        va_end(arguments);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back({level, std::move(text)});
        m_changed.notify_all();
    }

    std::vector<LogLine> Lines() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    // Each line as "LEVEL text".
    std::vector<std::string> FormattedLines() const {
        std::vector<std::string> formatted;
        for (const LogLine& line : Lines()) {
            formatted.push_back(std::to_string(line.level) + " " + line.text);
        }
        return formatted;
    }
    // The lines whose text contains `text`.
    std::vector<LogLine> LinesWith(const std::string& text) const {
        std::vector<LogLine> found;
        for (const LogLine& line : Lines()) {
            if (line.text.find(text) != std::string::npos) {
                found.push_back(line);
            }
        }
        return found;
    }
    void ClearLines() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

    // True once `count` lines containing `text` arrived; waits at most `timeout`.
    bool WaitForLines(const std::string& text, std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            std::size_t found = 0;
            for (const LogLine& line : m_lines) {
                found += line.text.find(text) != std::string::npos ? 1 : 0;
            }
            return found >= count;
        });
    }
    bool WaitForLine(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        return WaitForLines(text, 1, timeout);
    }

   protected:
    mutable std::mutex m_mutex;

   private:
    std::condition_variable m_changed;
    std::vector<LogLine> m_lines;  // guarded by m_mutex
};

using RecordingSink = RecordingLog<IDebugMessage>;

}  // namespace brevane::test
