// A capability query module: asks one camera what it is and writes the
// findings into the host's ICapabilitySink.
//
// Created by CreateCapabilityQueryModule (handed back to
// DeleteCapabilityQueryModule) or held as the module-wide single instance of
// InitCapabilityQuery. One query per module. Start and Terminate run on the
// host's thread; results and callbacks come on the module's fetching thread.
#pragma once

#include <cstdint>

#include "darvik/CapabilitySink.h"
#include "darvik/Contract.h"

namespace brevane::ipcapture {

class IIPCapabilityQuery {
    DARVIK_CONTRACT_SLOT0();
    // 1 when the fetching thread was started, 0 otherwise.
    virtual std::int32_t DARVIK_SLOT Start(const char* address, std::int32_t port, const char* userName,
                               const char* password, ICapabilitySink* sink) = 0;  // 1
    virtual void DARVIK_SLOT Terminate() = 0;                                                 // 2

   protected:
    ~IIPCapabilityQuery() = default;
};

}  // namespace brevane::ipcapture
