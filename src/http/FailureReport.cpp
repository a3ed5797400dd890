#include "http/FailureReport.h"

#include "core/DebugMessage.h"
#include "http/Utils.h"

namespace brevane {

namespace {
constexpr int kLevelFailure = 1;
}  // namespace

bool CFailureReport::Report(IDebugMessage* sink, const std::string& cause, const std::string& line) {
    if (sink == nullptr) {
        return false;
    }
    bool repeat = false;
    {
        MutexLock lock(m_mutex);
        repeat = cause == m_lastCause;
        m_lastCause = cause;
    }
    if (repeat && !Utils::ShouldReport(sink)) {
        return false;
    }
    DeliverFinishedLine(*sink, kLevelFailure, line.c_str());
    return true;
}

void CFailureReport::Forget() {
    MutexLock lock(m_mutex);
    m_lastCause.clear();
}

}  // namespace brevane
