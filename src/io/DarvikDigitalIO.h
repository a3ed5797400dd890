// CDarvikDigitalIO: the vendor half of the digital I/O object. Sets one
// relay output ("/cgi-bin/set?a_aoaN=V") and reads every alarm input at once
// (the "s_ssta" value of "/cgi-bin/get?sys") over the camera's CGI interface;
// everything the host sees comes from CIOBase.
//
// Created by the driver in Open (CreateIO) and destroyed in Close. WriteOutput
// runs on the output thread and ReadInputs on the input thread (both also on
// the host's thread inside Start). Each side has its own HTTP client and its
// own exchange lock, so a Start repeated while the workers run never mixes
// two exchanges on one client.
#pragma once

#include <cstdint>
#include <string>

#include "core/Mutex.h"
#include "core/UserAgent.h"
#include "http/FailureReport.h"
#include "http/HttpClient.h"
#include "io/IOBase.h"

namespace brevane {

class CDarvikDigitalIO final : public CIOBase {
   public:
    explicit CDarvikDigitalIO(IDriver* driver);
    ~CDarvikDigitalIO() override;

    // Sends output number index + 1 the value as it is. A value of 0 is
    // refused without a request.
    bool WriteOutput(std::int32_t outputIndex, std::int32_t value) override;
    // Reads "s_ssta" (one character per input, input 0 first: '0' state 1,
    // '1' state 2, anything else leaves the input alone) and reports every
    // change. The count argument is not used: the driver's count is asked
    // afresh for every input.
    bool ReadInputs(std::int32_t inputCount) override;

   private:
    // Logs why an exchange with the camera failed (a stop's abort excepted):
    // a new cause at once, the same again through the report throttle.
    void ReportInputFailure(const std::string& cause) REQUIRES(m_inputExchange);
    // The cause in words of a failed SendRequestEx with `client`.
    static std::string RequestFailure(const Web::CHttpClient& client);

    CFailureReport m_inputReport;   // the input poller's failures
    CFailureReport m_outputReport;  // the output queue's failures
    // Each client makes one exchange at a time.
    Mutex m_outputExchange;
    Web::CHttpClient m_outputClient GUARDED_BY(m_outputExchange);
    Mutex m_inputExchange;
    Web::CHttpClient m_inputClient GUARDED_BY(m_inputExchange);
};

}  // namespace brevane
