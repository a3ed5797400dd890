// PTZ interfaces of a driver: IIPPTZDriver (IIPCaptureDriverEx::GetPTZDriver)
// hands out one IIPPTZApi per channel; IIPParams is the control's small
// parameter interface.
//
// All are owned by the driver and valid until Close or deletion; the host
// never destroys them. Called on the host's threads. Movement requests
// return at once (they are queued); preset requests talk to the camera on the
// calling thread.
//
// Movement (slots 2 to 12) becomes a request on the channel's PTZ command
// thread, which sends the camera's commands in order; at most 16 requests
// wait, and a request that finds the queue full or the thread stopped is
// refused with PTZ_ERR_NOT_READY. PTZ_OK from a movement slot means
// "queued", not "done": a command the camera refuses later shows only as a
// level-1 line in the message log. A movement runs until a stop (StopAll)
// or a preset go-to ends it.
//
// Presets are kept by name. The camera stores each at a number (0 .. 254,
// the smallest free one); the module keeps the names in one XML file per
// camera, Darvik_<MAC>.preset in the folder of the host's executable (the
// camera's MAC address without its dashes), and loads it when the channel's
// PTZ interface is first asked for. Names are compared byte for byte.
#pragma once

#include <cstdint>

#include "darvik/Contract.h"

class IIPParams;  // global namespace, below

namespace brevane {

// Status codes of IIPPTZApi.
// Done, or queued for the PTZ command thread.
inline constexpr std::int32_t PTZ_OK = 1;
// A null pointer argument, an unsupported direction, or the caller's buffer
// is too small; also an invalid preset name.
inline constexpr std::int32_t PTZ_ERR_INVALID_ARGUMENT = -3;
// The control is not open, the request was not queued (queue full, thread
// stopped), or not every stop was queued; from AddPreposition also: the
// camera refused to store the preset, or the preset file could not be
// written (the preset is then kept in memory and on the camera).
inline constexpr std::int32_t PTZ_ERR_NOT_READY = -18;
// A preset operation found no such preset, or the camera refused it.
inline constexpr std::int32_t PTZ_ERR_PRESET = -23;
// AddPreposition: the camera's preset capacity is used up.
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
// GetCapabilities fills the record so: word 0 is left as the caller set it;
// words 1 to 5 are capability flags (all 1 for Darvik cameras); word 6 is 0;
// word 7 is the number of presets the camera can store (255); word 8 the
// number of presets defined now; words 9 to 13 are 0.
inline constexpr std::uint32_t kPtzCapabilityWords = 14;


// The PTZ of one channel. Its slots may be called from several host threads;
// movement slots only queue, preset slots (14 to 19) are serialised by the
// control's preset list.
// Speeds are the host's speed, 1 (slowest) to 16 (fastest), turned into the
// camera's speed before queueing (pan and tilt 1 to 15, zoom 1 to 30); values
// outside that range are not clamped.
class IIPPTZApi {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. @return PTZ_OK when the control is open; PTZ_ERR_NOT_READY
    // otherwise.
    virtual std::int32_t DARVIK_SLOT CheckReady() = 0;                                          // 1
    // Slot 2. Starts a pan, tilt, diagonal or zoom motion that runs until
    // StopAll.
    // @param direction  PTZ_DIR_LEFT .. PTZ_DIR_ZOOM_OUT (0 to 9). 10 is
    //                   refused; any other value is queued but sends the
    //                   camera nothing.
    // @param speed      the host's speed.
    // @return PTZ_OK when queued; PTZ_ERR_INVALID_ARGUMENT for direction 10;
    //         PTZ_ERR_NOT_READY when not open or not queued.
    virtual std::int32_t DARVIK_SLOT StartMove(std::int32_t direction, std::int32_t speed) = 0; // 2
    // Slot 3. Stops exactly the kinds of motion this control started and has
    // not stopped yet, in the order pan/tilt, zoom, iris, focus.
    // @return PTZ_OK when every stop was queued (also when nothing moved, and
    //         nothing is then sent); PTZ_ERR_NOT_READY when not open or when a
    //         stop could not be queued (that motion stays marked as running).
    virtual std::int32_t DARVIK_SLOT StopAll() = 0;                                             // 3
    // Slot 4. Centres the picture on a point. The three values are the
    // host's and are carried to the camera's command set unchanged; Darvik
    // cameras have no such command, so nothing is sent.
    // @return PTZ_OK when queued; PTZ_ERR_NOT_READY when not open or not
    //         queued.
    virtual std::int32_t DARVIK_SLOT Center(std::int32_t a, std::int32_t b, std::int32_t c) = 0; // 4
    // Slot 5. Zooms in until StopAll; the same as StartMove(PTZ_DIR_ZOOM_IN).
    // @return as StartMove.
    virtual std::int32_t DARVIK_SLOT ZoomIn(std::int32_t speed) = 0;                            // 5
    // Slot 6. Zooms out until StopAll; as StartMove(PTZ_DIR_ZOOM_OUT).
    virtual std::int32_t DARVIK_SLOT ZoomOut(std::int32_t speed) = 0;                           // 6
    // Slot 7. Returns to the widest view. The value is the host's, carried
    // unchanged; Darvik cameras have no such command, so nothing is sent.
    // @return as Center.
    virtual std::int32_t DARVIK_SLOT Unzoom(std::int32_t a) = 0;                                // 7
    // Slot 8. Zooms into a rectangle of the picture. The four values are the
    // host's, carried unchanged; Darvik cameras have no such command, so
    // nothing is sent.
    // @return as Center.
    virtual std::int32_t DARVIK_SLOT AreaZoom(std::int32_t a, std::int32_t b, std::int32_t c,
                                  std::int32_t d) = 0;                              // 8
    // Slots 9 and 10. Focus near / far until StopAll. Darvik cameras focus
    // at one speed; the value is accepted and not sent.
    // @return PTZ_OK when queued; PTZ_ERR_NOT_READY when not open or not
    //         queued.
    virtual std::int32_t DARVIK_SLOT FocusNear(std::int32_t speed) = 0;                         // 9
    virtual std::int32_t DARVIK_SLOT FocusFar(std::int32_t speed) = 0;                          // 10
    // Slots 11 and 12. Open / close the iris until StopAll; one speed, as
    // for focus.
    // @return as FocusNear.
    virtual std::int32_t DARVIK_SLOT IrisOpen(std::int32_t speed) = 0;                          // 11
    virtual std::int32_t DARVIK_SLOT IrisClose(std::int32_t speed) = 0;                         // 12
    // record: kPtzCapabilityWords words owned by the caller.
    // Slot 13. Fills the capability record (see kPtzCapabilityWords).
    // @return PTZ_OK; PTZ_ERR_INVALID_ARGUMENT for a null record;
    //         PTZ_ERR_NOT_READY when not open.
    virtual std::int32_t DARVIK_SLOT GetCapabilities(std::int32_t* record) = 0;                 // 13
    // Slot 14. @return the number of presets defined, 0 or more.
    virtual std::int32_t DARVIK_SLOT GetPrepositionCount() = 0;                                 // 14
    // Slot 15. Copies the name of the preset at a list position (in the
    // order they were added; positions close up after a removal).
    // @param index   list position, 0 .. GetPrepositionCount()-1.
    // @param buffer  the caller's buffer.
    // @param size    its size in bytes; must exceed the name's length.
    // @return PTZ_OK with the name and its terminator copied;
    //         PTZ_ERR_PRESET when there is no preset at that position;
    //         PTZ_ERR_INVALID_ARGUMENT for a null or too small buffer.
    virtual std::int32_t DARVIK_SLOT GetPrepositionName(std::int32_t index, char* buffer,
                                            std::uint32_t size) = 0;                // 15
    // Slot 16. Sends the camera to a preset; waits for the camera's answer
    // on the calling thread. A go-to the camera is already at (the last one
    // sent or added, with no motion since) is not sent again.
    // @param arg   the host's value, carried unchanged; Darvik cameras do not
    //              use it.
    // @param name  the preset's name; copied.
    // @return PTZ_OK when the camera went there; PTZ_ERR_PRESET when no
    //         preset has that name or the camera refused;
    //         PTZ_ERR_INVALID_ARGUMENT for a null name.
    virtual std::int32_t DARVIK_SLOT GotoPreposition(std::int32_t arg, const char* name) = 0;   // 16
    // Slot 17. Stores the camera's current position as a new preset: the
    // camera saves it (on the calling thread) and the preset file gets the
    // name.
    // @param name  the new name; copied. Not empty, no control characters
    //              and none of & ! < > ' "; an existing name is not
    //              replaced, a second preset of that name is added.
    // @return PTZ_OK when added; PTZ_ERR_INVALID_ARGUMENT for a null or
    //         invalid name (with a level-1 line); PTZ_ERR_FULL when the
    //         camera's capacity is used up (with a level-1 line);
    //         PTZ_ERR_NOT_READY when the control is not open, the camera
    //         refused, or the file could not be written (then the preset is
    //         kept in memory and on the camera).
    virtual std::int32_t DARVIK_SLOT AddPreposition(const char* name) = 0;                      // 17
    // Slot 18. Deletes the first preset of that name on the camera and from
    // the file.
    // @param name  copied.
    // @return PTZ_OK when done (a deletion the camera refuses keeps the
    //         preset in the list and still counts as done); PTZ_ERR_PRESET
    //         when no preset has that name or the file could not be
    //         rewritten; PTZ_ERR_INVALID_ARGUMENT for a null name.
    virtual std::int32_t DARVIK_SLOT RemovePreposition(const char* name) = 0;                   // 18
    // Slot 19. Copies the name of the preset the camera is at: the last one
    // gone to or added, as long as no motion, zoom, focus or iris request
    // and no removal came since.
    // @return PTZ_OK with the name copied; PTZ_ERR_PRESET when the position
    //         is not a known preset; PTZ_ERR_INVALID_ARGUMENT for a null or
    //         too small buffer (size must exceed the name's length).
    virtual std::int32_t DARVIK_SLOT GetCurrentPreposition(char* buffer, std::uint32_t size) = 0; // 19

   protected:
    ~IIPPTZApi() = default;
};

class IIPPTZDriver {
    DARVIK_CONTRACT_SLOT0();
    // The PTZ interface of a channel, or null (only channel 0 has PTZ).
    // Slot 1. The first call for channel 0 reads the camera's MAC address,
    // opens the preset file and starts the channel's PTZ command thread;
    // later calls give the same interface. A camera whose MAC address cannot
    // be read has no PTZ: the call gives null and the next call tries again.
    // May be called from several host threads.
    // @param channel  zero-based channel index.
    // @return the channel's PTZ interface, owned by the driver and valid
    //         until Close or deletion; null for any channel but 0, or when
    //         the PTZ could not be set up.
    virtual IIPPTZApi* DARVIK_SLOT GetPTZApi(std::uint32_t channel) = 0;   // 1

   protected:
    ~IIPPTZDriver() = default;
};

}  // namespace brevane

// The PTZ control's parameter interface (global namespace).
// The control's second interface, beside its IIPPTZApi: the module hands it
// to the control's own command object with every request. No slot of the
// host contract gives it out; it is declared here so the control's layout is
// complete. Two free flags live in it, stored and not interpreted.
// Slot 0 is the module's alone.
class IIPParams {
    DARVIK_CONTRACT_SLOT0();                          // 0: destroys the whole control
    // Slot 1. @return the control's zero-based channel index.
    virtual std::uint32_t DARVIK_SLOT GetChannel() = 0;           // 1
    // Slots 2 to 5. Read and write the two flags; both are false when the
    // control is created. Not interpreted by the module.
    virtual bool DARVIK_SLOT GetOption1() = 0;                    // 2
    virtual void DARVIK_SLOT SetOption1(bool value) = 0;          // 3
    virtual bool DARVIK_SLOT GetOption2() = 0;                    // 4
    virtual void DARVIK_SLOT SetOption2(bool value) = 0;          // 5

   protected:
    ~IIPParams() = default;
};
