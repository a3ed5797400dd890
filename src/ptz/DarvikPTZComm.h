// CDarvikPTZComm: the Darvik camera's PTZ commands. Each dequeued request
// becomes one GET of a "/cgi-bin/set?p_..." path; the preset commands are
// sent at once on the caller's thread. Speeds are converted to the camera's
// ranges before queueing.
//
// Owned by the PTZ control (through CBasePTZComm). The queue thread and
// preset callers share m_httpClient; m_sendLock makes their exchanges take
// turns, so a reply is never read by the wrong request.
#pragma once

#include <cstdint>
#include <string>

#include "http/HttpClient.h"
#include "ptz/BasePTZComm.h"
#include "thread/RecursiveLock.h"

namespace brevane {

class CDarvikPTZComm : public CBasePTZComm {
   public:
    // Presets a Darvik camera stores.
    static constexpr std::uint32_t kMaxPrepositions = 255;

    CDarvikPTZComm(IDriver* driver, std::uint16_t channel);
    // Stops the queue thread before the HTTP client goes away.
    ~CDarvikPTZComm() override;

    // Sends one command path; false (with a log line) when the camera did
    // not accept it.
    bool SendCommand(const std::string& command);

    // The camera command for a work item; empty for a direction or sub-code
    // the camera has no command for, and for messages it ignores.
    static std::string CommandFor(const CWorkItem& item);

    bool SavePreposition(std::uint32_t number, const char* reserved) override;
    bool MoveToPreposition(std::uint32_t number, const char* reserved1, std::int32_t reserved2) override;
    bool DeletePreposition(std::uint32_t number, const char* reserved) override;

    void ProcessWorkItem(IWorkItem* item) override;
    bool CanOpen() override { return true; }
    // Host speed 1..16 to camera speed 1..15 (pan, tilt) or 1..30 (zoom).
    std::int32_t GetMoveSpeed(std::int32_t direction, std::int32_t speed) override;
    // The camera's focus and iris commands carry no speed.
    std::int32_t GetFocusSpeed(std::int32_t) override { return 1; }
    std::int32_t GetIrisSpeed(std::int32_t) override { return 1; }
    std::int32_t CheckReady(IIPParams*) override { return PTZ_OK; }
    std::int32_t GetCapabilities(std::int32_t* record) override;

   private:
    CRecursiveLock m_sendLock;
    Web::CHttpClient m_httpClient GUARDED_BY(m_sendLock);  // one exchange at a time
};

}  // namespace brevane
