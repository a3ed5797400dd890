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
    virtual bool DARVIK_SLOT SetEventSink(ipcapture::IIOEventSink* sink) = 0;              // 1
    virtual bool DARVIK_SLOT Start() = 0;                                                  // 2
    virtual bool DARVIK_SLOT Stop() = 0;                                                   // 3
    virtual std::int32_t DARVIK_SLOT GetInputCount() = 0;                                  // 4
    virtual std::int32_t DARVIK_SLOT GetOutputCount() = 0;                                 // 5
    // Zero-based output; queued, the camera is not contacted on this thread.
    virtual bool DARVIK_SLOT SetOutput(std::int32_t outputIndex, std::int32_t value) = 0;  // 6

   protected:
    ~ICaptureIOApi() = default;
};

}  // namespace brevane
