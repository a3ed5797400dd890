// CFailureReport: tells the operator why an object's exchanges with its
// camera fail, without flooding the log. A cause other than the one reported
// last goes out at once; the same cause again goes through the driver-wide
// report throttle (Utils::ShouldReport), so a camera that keeps failing the
// same way costs a few lines a minute at most. Forget() after a lasting
// success, so that the next failure is told again whatever its cause.
//
// Owned by the reporting object (a camera channel, the digital I/O object);
// any of its threads may call it. m_mutex guards the last cause and is never
// held across the call to the sink.
#pragma once

#include <string>

#include "core/Mutex.h"

class IDebugMessage;

namespace brevane {

class CFailureReport {
   public:
    // Delivers `line` at the failure level (1) to `sink` when `cause` differs
    // from the last reported one or the throttle lets it through. True when
    // the line went out. A null sink reports nothing.
    bool Report(IDebugMessage* sink, const std::string& cause, const std::string& line);
    void Forget();

   private:
    Mutex m_mutex;
    std::string m_lastCause GUARDED_BY(m_mutex);  // empty: nothing reported yet
};

}  // namespace brevane
