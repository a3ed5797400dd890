// PTZ interfaces of a driver: IIPPTZDriver (IIPCaptureDriverEx::GetPTZDriver)
// hands out one IIPPTZApi per channel; IIPParams is the control's small
// parameter interface.
//
// All are owned by the driver and valid until Close or deletion; the host
// never destroys them. Called on the host's threads. Movement requests
// return at once (they are queued); preset requests talk to the camera on the
// calling thread.
#pragma once

#include <cstdint>

#include "darvik/Contract.h"

class IIPParams;  // global namespace, below

namespace brevane {

// Status codes of IIPPTZApi.
inline constexpr std::int32_t PTZ_OK = 1;
inline constexpr std::int32_t PTZ_ERR_INVALID_ARGUMENT = -3;
inline constexpr std::int32_t PTZ_ERR_NOT_READY = -18;
inline constexpr std::int32_t PTZ_ERR_PRESET = -23;
inline constexpr std::int32_t PTZ_ERR_FULL = -26;

// Directions of IIPPTZApi::StartMove.
inline constexpr std::int32_t PTZ_DIR_LEFT = 0;
inline constexpr std::int32_t PTZ_DIR_RIGHT = 1;
inline constexpr std::int32_t PTZ_DIR_UP = 2;
inline constexpr std::int32_t PTZ_DIR_DOWN = 3;
inline constexpr std::int32_t PTZ_DIR_LEFT_UP = 4;
inline constexpr std::int32_t PTZ_DIR_RIGHT_UP = 5;
inline constexpr std::int32_t PTZ_DIR_LEFT_DOWN = 6;
inline constexpr std::int32_t PTZ_DIR_RIGHT_DOWN = 7;
inline constexpr std::int32_t PTZ_DIR_ZOOM_IN = 8;
inline constexpr std::int32_t PTZ_DIR_ZOOM_OUT = 9;

// Number of 32-bit words in the PTZ capability record.
inline constexpr std::uint32_t kPtzCapabilityWords = 14;


class IIPPTZApi {
    DARVIK_CONTRACT_SLOT0();
    virtual std::int32_t DARVIK_SLOT CheckReady() = 0;                                          // 1
    virtual std::int32_t DARVIK_SLOT StartMove(std::int32_t direction, std::int32_t speed) = 0; // 2
    virtual std::int32_t DARVIK_SLOT StopAll() = 0;                                             // 3
    virtual std::int32_t DARVIK_SLOT Center(std::int32_t a, std::int32_t b, std::int32_t c) = 0; // 4
    virtual std::int32_t DARVIK_SLOT ZoomIn(std::int32_t speed) = 0;                            // 5
    virtual std::int32_t DARVIK_SLOT ZoomOut(std::int32_t speed) = 0;                           // 6
    virtual std::int32_t DARVIK_SLOT Unzoom(std::int32_t a) = 0;                                // 7
    virtual std::int32_t DARVIK_SLOT AreaZoom(std::int32_t a, std::int32_t b, std::int32_t c,
                                  std::int32_t d) = 0;                              // 8
    virtual std::int32_t DARVIK_SLOT FocusNear(std::int32_t speed) = 0;                         // 9
    virtual std::int32_t DARVIK_SLOT FocusFar(std::int32_t speed) = 0;                          // 10
    virtual std::int32_t DARVIK_SLOT IrisOpen(std::int32_t speed) = 0;                          // 11
    virtual std::int32_t DARVIK_SLOT IrisClose(std::int32_t speed) = 0;                         // 12
    // record: kPtzCapabilityWords words owned by the caller.
    virtual std::int32_t DARVIK_SLOT GetCapabilities(std::int32_t* record) = 0;                 // 13
    virtual std::int32_t DARVIK_SLOT GetPrepositionCount() = 0;                                 // 14
    virtual std::int32_t DARVIK_SLOT GetPrepositionName(std::int32_t index, char* buffer,
                                            std::uint32_t size) = 0;                // 15
    virtual std::int32_t DARVIK_SLOT GotoPreposition(std::int32_t arg, const char* name) = 0;   // 16
    virtual std::int32_t DARVIK_SLOT AddPreposition(const char* name) = 0;                      // 17
    virtual std::int32_t DARVIK_SLOT RemovePreposition(const char* name) = 0;                   // 18
    virtual std::int32_t DARVIK_SLOT GetCurrentPreposition(char* buffer, std::uint32_t size) = 0; // 19

   protected:
    ~IIPPTZApi() = default;
};

class IIPPTZDriver {
    DARVIK_CONTRACT_SLOT0();
    // The PTZ interface of a channel, or null (only channel 0 has PTZ).
    virtual IIPPTZApi* DARVIK_SLOT GetPTZApi(std::uint32_t channel) = 0;   // 1

   protected:
    ~IIPPTZDriver() = default;
};

}  // namespace brevane

// The PTZ control's parameter interface (global namespace).
class IIPParams {
    DARVIK_CONTRACT_SLOT0();                          // 0: destroys the whole control
    virtual std::uint32_t DARVIK_SLOT GetChannel() = 0;           // 1
    virtual bool DARVIK_SLOT GetOption1() = 0;                    // 2
    virtual void DARVIK_SLOT SetOption1(bool value) = 0;          // 3
    virtual bool DARVIK_SLOT GetOption2() = 0;                    // 4
    virtual void DARVIK_SLOT SetOption2(bool value) = 0;          // 5

   protected:
    ~IIPParams() = default;
};
