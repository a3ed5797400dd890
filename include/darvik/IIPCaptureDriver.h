// The driver object of one camera, as the host sees it.
//
// Created by CreateIPCapture / CreateIPCaptureEx and handed back to
// DeleteIPCapture / DeleteIPCaptureEx; the host never frees it itself. The
// object's address is both its IIPCaptureDriver and its IIPCaptureDriverEx
// pointer. Open, Close and deletion run on one host thread and must not
// overlap other calls on the same driver.
//
// Life cycle: create; Open once with the host's message sink, frame
// allocator and parameters; any number of calls on GetVideoCapture,
// GetCaptureIO, GetPTZDriver and the objects they return, from any host
// threads; Close (optional, deletion does the same); delete. After Close the
// driver may be opened again and gives new service objects. Drivers are
// independent of each other: one per camera, side by side.
#pragma once

#include "darvik/Contract.h"
#include "darvik/HostServices.h"
#include "darvik/ICaptureIOApi.h"
#include "darvik/IIPPTZ.h"
#include "darvik/IIPVideoCapture.h"

namespace brevane::ipcapture {

class IIPCaptureDriver {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. Takes the camera's settings from the host (every value is
    // copied) and creates the three services: video capture, digital I/O
    // and PTZ. The camera is not contacted. Ends with the level-100 line
    // "DRIVER IS OPENED (name: DarvikIPCapture, device model: M, address:
    // A:P)".
    // @param sink        where every log line of this driver goes; may be
    //                    null (lines are then dropped). Kept, not owned;
    //                    must live until Close or deletion.
    // @param allocator   the host's frames for every channel of this driver.
    //                    Kept, not owned; must live until Close or deletion.
    // @param parameters  the camera's connection settings, device
    //                    description and custom parameters; used only during
    //                    the call.
    // @return true when the driver is open. False when custom parameter 1
    //         is missing or not a whole decimal number (the services exist
    //         all the same; close or delete the driver), or when the driver
    //         is already open (a second Open without Close changes nothing
    //         but the copied settings).
    virtual bool DARVIK_SLOT Open(IMessageSink* sink, IFrameAllocator* allocator,
                      IOpenParameters* parameters) = 0;       // 1
    // Slot 2. Destroys the video capture object (stopping every channel and
    // waiting for its worker, as IIPVideoCapture::StopChannel does), then the
    // digital I/O object (stopping its threads), then the PTZ handler
    // (stopping the PTZ thread). Must not be called from inside a callback
    // of the module. When it returns, no thread of this driver runs and the
    // host's sink, allocator, receivers and event sink are no longer called.
    // Every interface obtained from the driver is invalid afterwards; the
    // settings stay. Harmless on a driver that is not open.
    virtual void DARVIK_SLOT Close() = 0;                                 // 2
    // Slot 3. @return the video capture interface (IIPVideoCapture.h), owned
    // by the driver and valid until Close or deletion; null before Open and
    // after Close.
    virtual IIPVideoCapture* DARVIK_SLOT GetVideoCapture() = 0;           // 3
    // Slot 4. @return the digital I/O interface (ICaptureIOApi.h), owned by
    // the driver and valid until Close or deletion; null before Open and
    // after Close.
    virtual ICaptureIOApi* DARVIK_SLOT GetCaptureIO() = 0;                // 4

   protected:
    ~IIPCaptureDriver() = default;
};

class IIPCaptureDriverEx : public IIPCaptureDriver {
   public:
    // Slot 5. Reserved for a further interface this module does not have.
    // @return null, at every stage.
    virtual void* DARVIK_SLOT GetExtraInterface() = 0;                    // 5: always null
    // Slot 6. @return the PTZ interface (IIPPTZ.h), owned by the driver and
    // valid until Close or deletion; null before Open and after Close.
    virtual IIPPTZDriver* DARVIK_SLOT GetPTZDriver() = 0;                 // 6

   protected:
    ~IIPCaptureDriverEx() = default;
};

}  // namespace brevane::ipcapture
