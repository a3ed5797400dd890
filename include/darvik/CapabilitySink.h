// Host objects of the capability query: the result sink with the objects it
// returns, and the callback that hears how the query ended.
//
// The host owns them; the module calls them on its capability fetching thread
// (OnQueryAborted on the thread that destroys the query module) and neither
// keeps nor releases the objects the sink returns.
#pragma once

#include <cstdint>

#include "darvik/Contract.h"

namespace brevane::ipcapture {

// Returned by ICapabilitySink::GetConnectionField.
class ICapabilityTextField {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT SetText(const char* text) = 0;                       // 1

   protected:
    ~ICapabilityTextField() = default;
};

// Returned by ICapabilitySink::AddParameter.
class ICapabilityParameter {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT SetValue(const char* value) = 0;                     // 1
    virtual void DARVIK_SLOT Unused2() {}                                         // 2
    virtual void DARVIK_SLOT Unused3() {}                                         // 3
    virtual void DARVIK_SLOT SetSlot4(std::int32_t value) = 0;                    // 4: always 0
    virtual void DARVIK_SLOT SetName(const char* name) = 0;                       // 5
    virtual void DARVIK_SLOT SetSlot6(std::int32_t value) = 0;                    // 6: always 0

   protected:
    ~ICapabilityParameter() = default;
};

// Returned by ICapabilitySink::GetResolutionList.
class ICapabilityResolutionList {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT AddResolution(const char* name, std::int32_t width, std::int32_t height,
                               std::int32_t frameIntervalMs) = 0;     // 1

   protected:
    ~ICapabilityResolutionList() = default;
};

// Returned by ICapabilitySink::GetFrameIntervalList.
class ICapabilityFrameIntervalList {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT Unused1() {}                                         // 1
    virtual void DARVIK_SLOT AddFrameInterval(std::int32_t frameIntervalMs) = 0;  // 2

   protected:
    ~ICapabilityFrameIntervalList() = default;
};

// Fifth argument of IIPCapabilityQuery::Start / StartCapabilityQuery.
class ICapabilitySink {
    DARVIK_CONTRACT_SLOT0();
    virtual std::int32_t DARVIK_SLOT SetCapability(std::int32_t id, std::int32_t value) = 0;   // 1
    virtual void DARVIK_SLOT SetModelName(const char* name) = 0;                               // 2
    // index 1 address, 2 port, 3 user name, 4 password
    virtual ICapabilityTextField* DARVIK_SLOT GetConnectionField(std::int32_t index) = 0;      // 3
    virtual void DARVIK_SLOT Unused4() {}                                                      // 4
    virtual ICapabilityParameter* DARVIK_SLOT AddParameter(std::int32_t kind) = 0;             // 5: kind 1
    virtual ICapabilityResolutionList* DARVIK_SLOT GetResolutionList() = 0;                    // 6
    virtual void DARVIK_SLOT Unused7() {}                                                      // 7
    virtual ICapabilityFrameIntervalList* DARVIK_SLOT GetFrameIntervalList(std::int32_t kind) = 0;  // 8: kind 1

   protected:
    ~ICapabilitySink() = default;
};

// First argument of CreateCapabilityQueryModule / InitCapabilityQuery.
class ICapabilityQueryCallback {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT Unused1() {}                                                      // 1
    virtual void DARVIK_SLOT OnQuerySucceeded() = 0;                                           // 2
    // message is valid only during the call
    virtual void DARVIK_SLOT OnQueryFailed(std::int32_t errorCode, const char* message) = 0;   // 3
    virtual void DARVIK_SLOT OnQueryAborted() = 0;                                             // 4

   protected:
    ~ICapabilityQueryCallback() = default;
};

}  // namespace brevane::ipcapture
