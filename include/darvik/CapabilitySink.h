// Host objects of the capability query: the result sink with the objects it
// returns, and the callback that hears how the query ended.
//
// The host owns them; the module calls them on its capability fetching thread
// (OnQueryAborted on the thread that destroys the query module) and neither
// keeps nor releases the objects the sink returns.
//
// The sink is written once per successful fetch, in this order:
// GetFrameIntervalList(1) with one AddFrameInterval per frame rate of the
// camera's video standard (PAL 200, 166, 125, 76, 40 ms; NTSC 166, 142, 100,
// 66, 33 ms); SetCapability(11, 0) and (12, 0); SetModelName;
// SetCapability(0, 1) and the others that apply; GetResolutionList with one
// AddResolution per resolution; the four connection fields; AddParameter(1)
// for the video standard. Texts handed to the sink are valid only during the
// call. The callback follows, on the same thread.
#pragma once

#include <cstdint>

#include "darvik/Contract.h"

namespace brevane::ipcapture {

// Returned by ICapabilitySink::GetConnectionField.
class ICapabilityTextField {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. @param text  the field's value, as the query used it: the
    // address, the port in decimal, the user name or the password.
    virtual void DARVIK_SLOT SetText(const char* text) = 0;                       // 1

   protected:
    ~ICapabilityTextField() = default;
};

// Returned by ICapabilitySink::AddParameter.
// The module calls SetName, slot 6, slot 4, then SetValue.
class ICapabilityParameter {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. @param value  the parameter's value: for "Video standard" "1"
    // for NTSC, "0" for PAL, as the camera reports its standard (the same
    // values a host gives the driver as custom parameter 1).
    virtual void DARVIK_SLOT SetValue(const char* value) = 0;                     // 1
    virtual void DARVIK_SLOT Unused2() {}                                         // 2
    virtual void DARVIK_SLOT Unused3() {}                                         // 3
    // Slot 4. An attribute of the host's parameter record; the module sets 0.
    virtual void DARVIK_SLOT SetSlot4(std::int32_t value) = 0;                    // 4: always 0
    // Slot 5. @param name  the parameter's name: "Video standard".
    virtual void DARVIK_SLOT SetName(const char* name) = 0;                       // 5
    // Slot 6. An attribute of the host's parameter record; the module sets 0.
    virtual void DARVIK_SLOT SetSlot6(std::int32_t value) = 0;                    // 6: always 0

   protected:
    ~ICapabilityParameter() = default;
};

// Returned by ICapabilitySink::GetResolutionList.
class ICapabilityResolutionList {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. One picture size the camera streams, in the order of the
    // standard's table, without duplicates.
    // @param name             "WIDTHxHEIGHT", e.g. "704x576".
    // @param width            pixels.
    // @param height           lines.
    // @param frameIntervalMs  the shortest time between pictures (40 for
    //                         PAL, 33 for NTSC).
    virtual void DARVIK_SLOT AddResolution(const char* name, std::int32_t width, std::int32_t height,
                               std::int32_t frameIntervalMs) = 0;     // 1

   protected:
    ~ICapabilityResolutionList() = default;
};

// Returned by ICapabilitySink::GetFrameIntervalList.
class ICapabilityFrameIntervalList {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT Unused1() {}                                         // 1
    // Slot 2. @param frameIntervalMs  one selectable time between pictures,
    // in milliseconds (1000 / frame rate, rounded down), longest first.
    virtual void DARVIK_SLOT AddFrameInterval(std::int32_t frameIntervalMs) = 0;  // 2

   protected:
    ~ICapabilityFrameIntervalList() = default;
};

// Fifth argument of IIPCapabilityQuery::Start / StartCapabilityQuery.
// Capability ids given to SetCapability:
//   0  always, value 1: the camera answered;
//   1  value 1: an extended product (product id 40 or more);
//   2  the number of alarm inputs (sent only when not 0);
//   3  the number of alarm outputs (sent only when not 0);
//   4  value 1: the camera has audio;
//   6, 7, 8  value 1, once per codec kind the camera offers (6 for kind 4,
//      7 for kinds 1 and 2, 8 for kind 16); a Darvik camera sends 6, then 7:
//      its two stream kinds, motion JPEG and MPEG-4;
//   11, 12  always, value 0.
class ICapabilitySink {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. @param id     a capability id (list above).
    //         @param value  its value.
    // @return anything; the module ignores it.
    virtual std::int32_t DARVIK_SLOT SetCapability(std::int32_t id, std::int32_t value) = 0;   // 1
    // Slot 2. @param name  "Darvik " and the model name, or "Darvik " and the
    // raw product id for a model the module does not know.
    virtual void DARVIK_SLOT SetModelName(const char* name) = 0;                               // 2
    // index 1 address, 2 port, 3 user name, 4 password
    // Slot 3. @return the host's field object for that index; not null. The
    // module calls its SetText once and forgets it.
    virtual ICapabilityTextField* DARVIK_SLOT GetConnectionField(std::int32_t index) = 0;      // 3
    virtual void DARVIK_SLOT Unused4() {}                                                      // 4
    // Slot 5. @param kind  1, a named parameter.
    // @return a new parameter object of the host; not null. Used at once and
    //         not kept.
    virtual ICapabilityParameter* DARVIK_SLOT AddParameter(std::int32_t kind) = 0;             // 5: kind 1
    // Slot 6. @return the host's resolution list; not null.
    virtual ICapabilityResolutionList* DARVIK_SLOT GetResolutionList() = 0;                    // 6
    virtual void DARVIK_SLOT Unused7() {}                                                      // 7
    // Slot 8. @param kind  1, the frame intervals of the camera's standard.
    // @return the host's frame interval list; not null.
    virtual ICapabilityFrameIntervalList* DARVIK_SLOT GetFrameIntervalList(std::int32_t kind) = 0;  // 8: kind 1

   protected:
    ~ICapabilitySink() = default;
};

// First argument of CreateCapabilityQueryModule / InitCapabilityQuery.
// Exactly one of slots 2, 3 and 4 is called per query that Start began.
// Slots 2 and 3 come on the fetching thread, after the last sink call;
// slot 4 on the thread destroying the query module. None of them may call
// the capability exports, or destroy the module.
class ICapabilityQueryCallback {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT Unused1() {}                                                      // 1
    // Slot 2. The camera was asked and the sink holds the findings.
    virtual void DARVIK_SLOT OnQuerySucceeded() = 0;                                           // 2
    // message is valid only during the call
    // Slot 3. The query failed.
    // @param errorCode  0 invalid address, 1 login refused, 2 camera not
    //                   reached, 3 other camera or internal failure (the
    //                   codes and fixed messages are listed in
    //                   IIPCapabilityQuery.h).
    // @param message    the fixed message for it.
    virtual void DARVIK_SLOT OnQueryFailed(std::int32_t errorCode, const char* message) = 0;   // 3
    // Slot 4. The query did not end within twice the time-out (10 s) when
    // its module was destroyed, and was abandoned; no other callback and no
    // sink call follows.
    virtual void DARVIK_SLOT OnQueryAborted() = 0;                                             // 4

   protected:
    ~ICapabilityQueryCallback() = default;
};

}  // namespace brevane::ipcapture
