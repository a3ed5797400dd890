// A capability query module: asks one camera what it is and writes the
// findings into the host's ICapabilitySink.
//
// Created by CreateCapabilityQueryModule (handed back to
// DeleteCapabilityQueryModule) or held as the module-wide single instance of
// InitCapabilityQuery. One query per module. Start and Terminate run on the
// host's thread; results and callbacks come on the module's fetching thread.
//
// A query: Start returns 1 and the fetching thread asks the camera four
// questions (system, MPEG, audio, alarm) over HTTP, writes the findings into
// the sink (CapabilitySink.h), then calls OnQuerySucceeded or
// OnQueryFailed(code, message) on the callback, exactly once. Destroying the
// module waits for a query still running (up to twice the 5 s time-out); one
// that does not end by then is abandoned, and the host hears OnQueryAborted
// on the destroying thread instead of the other two. Callbacks must not call
// the module's exports, nor wait for a destruction running on another
// thread.
#pragma once

#include <cstdint>

#include "darvik/CapabilitySink.h"
#include "darvik/Contract.h"

namespace brevane::ipcapture {

// Error codes given to ICapabilityQueryCallback::OnQueryFailed, with their
// fixed messages:
//   0  "Failed to start capability fetching thread. Device address is
//      invalid!": the address holds one of @ # $ % ^ & * ( ) { } [ ] / \ + =
//      | : ; , ~ ' " ! ? (so no port or user may be written into it); the
//      camera is not contacted.
//   1  "Failed to get camera properties, login failed (invalid
//      credentials)": the camera refused the login (HTTP 401 or 403).
//   2  "Failed to get camera properties, device is offline or is located
//      in unaccessible subnet": the camera could not be reached (connection
//      refused, no answer within the time-out, unknown or unreachable
//      address).
//   3  "Failed to get camera properties": the camera answered, but not
//      with what a Darvik camera answers (another HTTP status, a reply
//      without the expected fields, a broken connection).
//   3  "Failed to save capability query results": the findings could not
//      be written into the sink.
//   3  "Failed to start capability fetching thread. Internal error occurs":
//      the query had no sink or no properties object when it ran.

class IIPCapabilityQuery {
    DARVIK_CONTRACT_SLOT0();
    // 1 when the fetching thread was started, 0 otherwise.
    // Slot 1. Starts this module's one query.
    // @param address   the camera's host name or dotted address, without
    //                  port; copied.
    // @param port      the camera's HTTP port (kept as 16 bits).
    // @param userName  for the camera's HTTP authentication; copied; "" for
    //                  none.
    // @param password  copied.
    // @param sink      the host's result object; kept, not owned; must live
    //                  until the callback was called or the module is
    //                  destroyed.
    // @return 1 when the fetching thread runs (a callback follows); 0 when
    //         the module already ran a query, the sink or a text is null,
    //         or the thread could not start (no callback follows).
    virtual std::int32_t DARVIK_SLOT Start(const char* address, std::int32_t port, const char* userName,
                               const char* password, ICapabilitySink* sink) = 0;  // 1
    // Slot 2. Asks a running query to stop before its next camera request
    // and returns at once. The callback still reports the end; a query
    // stopped after the system question succeeds with what it found so far.
    // Harmless when no query runs.
    virtual void DARVIK_SLOT Terminate() = 0;                                                 // 2

   protected:
    ~IIPCapabilityQuery() = default;
};

}  // namespace brevane::ipcapture
