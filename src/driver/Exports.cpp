// The module's exported functions. Nothing may leave them as an exception:
// the host is not built to catch ours.
#include "darvik/Exports.h"

#include <new>

#include "driver/CDarvikIPCaptureDriver.h"

using namespace brevane::ipcapture;

namespace {

brevane::CDarvikIPCaptureDriver* NewDriver() {
    try {
        return new (std::nothrow) brevane::CDarvikIPCaptureDriver();
    } catch (...) {
        return nullptr;
    }
}

template <class Interface>
void DeleteDriver(Interface* driver) {
    try {
        brevane::contract::DestroyContractObject(driver);
    } catch (...) {
    }
}

}  // namespace

extern "C" {

IIPCaptureDriver* CreateIPCapture() { return NewDriver(); }
IIPCaptureDriverEx* CreateIPCaptureEx() { return NewDriver(); }
void DeleteIPCapture(IIPCaptureDriver* driver) { DeleteDriver(driver); }
void DeleteIPCaptureEx(IIPCaptureDriverEx* driver) { DeleteDriver(driver); }

// The capability query is not part of the module yet: every call reports
// failure and does nothing.
IIPCapabilityQuery* CreateCapabilityQueryModule(ICapabilityQueryCallback*, std::int32_t) { return nullptr; }
void DeleteCapabilityQueryModule(IIPCapabilityQuery*) {}
std::int32_t InitCapabilityQuery(ICapabilityQueryCallback*, std::int32_t) { return 0; }
std::int32_t StartCapabilityQuery(const char*, std::int32_t, const char*, const char*, ICapabilitySink*) { return 0; }
std::int32_t TerminateCapabilityQuery() { return 0; }
std::int32_t UninitCapabilityQuery() { return 0; }

}  // extern "C"
