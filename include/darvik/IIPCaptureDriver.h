// The driver object of one camera, as the host sees it.
//
// Created by CreateIPCapture / CreateIPCaptureEx and handed back to
// DeleteIPCapture / DeleteIPCaptureEx; the host never frees it itself. The
// object's address is both its IIPCaptureDriver and its IIPCaptureDriverEx
// pointer. Open, Close and deletion run on one host thread and must not
// overlap other calls on the same driver.
#pragma once

#include "darvik/Contract.h"
#include "darvik/HostServices.h"
#include "darvik/ICaptureIOApi.h"
#include "darvik/IIPPTZ.h"
#include "darvik/IIPVideoCapture.h"

namespace brevane::ipcapture {

class IIPCaptureDriver {
    DARVIK_CONTRACT_SLOT0();
    virtual bool DARVIK_SLOT Open(IMessageSink* sink, IFrameAllocator* allocator,
                      IOpenParameters* parameters) = 0;       // 1
    virtual void DARVIK_SLOT Close() = 0;                                 // 2
    virtual IIPVideoCapture* DARVIK_SLOT GetVideoCapture() = 0;           // 3
    virtual ICaptureIOApi* DARVIK_SLOT GetCaptureIO() = 0;                // 4

   protected:
    ~IIPCaptureDriver() = default;
};

class IIPCaptureDriverEx : public IIPCaptureDriver {
   public:
    virtual void* DARVIK_SLOT GetExtraInterface() = 0;                    // 5: always null
    virtual IIPPTZDriver* DARVIK_SLOT GetPTZDriver() = 0;                 // 6

   protected:
    ~IIPCaptureDriverEx() = default;
};

}  // namespace brevane::ipcapture
