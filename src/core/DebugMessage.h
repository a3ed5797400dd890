// IDebugMessage: where the module's objects send their log lines. The driver
// implements it (formatting, level mapping, hand-over to the host's sink);
// the PTZ command object implements it by forwarding finished lines to the
// driver.
//
// DebugMessage is called from every thread of the module at once.
// m_reportCounter is the request-failure throttle's counter, shared by all
// reporters of one driver; it is atomic because they update it concurrently.
//
// A line that is already formatted (an object that formats for itself and
// passes the result on) must be handed over with DeliverFinishedLine, never
// as the format: "%s" keeps every '%' in the text as it is.
#pragma once

#include <atomic>
#include <cstdint>
#include "core/PrintfFormat.h"

class IDebugMessage {
   public:
    virtual ~IDebugMessage() = default;

    // Formats a printf-style line and delivers it at the given level.
    virtual void DebugMessage(int level, const char* format, ...)
        DARVIK_PRINTF_FORMAT(3, 4)
        = 0;

    std::atomic<std::uint32_t> m_reportCounter{0};
};

// Delivers a finished line at the given level without formatting it again.
inline void DeliverFinishedLine(IDebugMessage& target, int level, const char* text) {
    target.DebugMessage(level, "%s", text != nullptr ? text : "");
}
