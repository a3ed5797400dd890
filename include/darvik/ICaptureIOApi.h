// The digital I/O interface of a driver (IIPCaptureDriver::GetCaptureIO).
//
// Owned by the driver; valid from Open until Close or deletion. Called on the
// host's threads; Stop waits for the I/O threads and must not be called from
// inside an IIOEventSink notification.
//
// The input and output counts are those the host's device description gave
// at Open; the camera is not asked for them. Life cycle: SetEventSink, Start
// (reads the inputs, sets every output to 1, starts the "Digital Input
// thread" that polls the inputs every 4 s and the "Digital Output thread"
// that carries out output changes in order), any number of SetOutput calls,
// Stop; Start may follow again. Close and deletion stop both threads too.
#pragma once

#include <cstdint>

#include "darvik/Contract.h"
#include "darvik/HostServices.h"

namespace brevane {

class ICaptureIOApi {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. Names the host's object that hears input changes and failures
    // (on the threads listed at IIOEventSink), replacing an earlier one. Set
    // it before Start.
    // @param sink  kept, not owned; must live until Stop, Close or deletion.
    // @return true when the sink was taken; false for null (nothing changes).
    virtual bool DARVIK_SLOT SetEventSink(ipcapture::IIOEventSink* sink) = 0;              // 1
    // Slot 2. On the calling thread: reads every input once (each known
    // input is reported through OnInputChanged; a failed read gives
    // OnIOFailure) and sets every output to 1 in ascending order (a refused
    // write gives OnIOFailure and the next output is still tried). Then
    // starts both I/O threads.
    // @return true when both threads were started by this call; false when
    // either was already running or could not start (a second Start without
    // Stop repeats the reads and writes and returns false).
    virtual bool DARVIK_SLOT Start() = 0;                                                  // 2
    // Slot 3. Ends both threads and waits for them without time-out; output
    // changes still queued are dropped unexecuted; every state becomes
    // unknown (nobody is told). After it returns the event sink is not
    // called again.
    // @return true when both threads were running and have ended; false
    //         when either was not started.
    virtual bool DARVIK_SLOT Stop() = 0;                                                   // 3
    // Slot 4. @return the number of alarm inputs (the device description's
    // count). Inputs are numbered from 0.
    virtual std::int32_t DARVIK_SLOT GetInputCount() = 0;                                  // 4
    // Slot 5. @return the number of relay outputs (the device description's
    // count). Outputs are numbered from 0.
    virtual std::int32_t DARVIK_SLOT GetOutputCount() = 0;                                 // 5
    // Zero-based output; queued, the camera is not contacted on this thread.
    // Slot 6. The output thread later writes the value to the camera, unless
    // the output already has that value (then nothing is sent) or the index
    // is not below GetOutputCount() (then the change is dropped silently). A
    // refused write gives OnIOFailure on the output thread.
    // @param outputIndex  zero-based output number.
    // @param value        the wanted state, passed to the camera unchanged;
    //                     1 is the state Start writes to every output.
    // @return true when the change was queued (also for an index that is
    //         later dropped); false before Start or after Stop.
    virtual bool DARVIK_SLOT SetOutput(std::int32_t outputIndex, std::int32_t value) = 0;  // 6

   protected:
    ~ICaptureIOApi() = default;
};

}  // namespace brevane
