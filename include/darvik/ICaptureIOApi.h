// The digital I/O interface of a driver (IIPCaptureDriver::GetCaptureIO).
//
// Owned by the driver; valid from Open until Close or deletion. Called on the
// host's threads; Stop waits for the I/O threads and must not be called from
// inside an IIOEventSink notification.
#pragma once

#include <cstdint>

#include "darvik/Contract.h"
#include "darvik/HostServices.h"

namespace brevane {

class ICaptureIOApi {
    DARVIK_CONTRACT_SLOT0();
    virtual bool SetEventSink(ipcapture::IIOEventSink* sink) = 0;              // 1
    virtual bool Start() = 0;                                                  // 2
    virtual bool Stop() = 0;                                                   // 3
    virtual std::int32_t GetInputCount() = 0;                                  // 4
    virtual std::int32_t GetOutputCount() = 0;                                 // 5
    // Zero-based output; queued, the camera is not contacted on this thread.
    virtual bool SetOutput(std::int32_t outputIndex, std::int32_t value) = 0;  // 6

   protected:
    ~ICaptureIOApi() = default;
};

}  // namespace brevane
