// The module's exported functions. Nothing may leave them as an exception:
// the host is not built to catch ours.
#include "darvik/Exports.h"

#include <new>

#include "capability/CapabilityQueryExports.h"
#include "driver/DarvikIPCaptureDriver.h"

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

IIPCapabilityQuery* CreateCapabilityQueryModule(ICapabilityQueryCallback* callback, std::int32_t flag) {
    return brevane::capability::CreateQueryModule(callback, flag);
}
void DeleteCapabilityQueryModule(IIPCapabilityQuery* module) {
    brevane::capability::DeleteQueryModule(module);
}
std::int32_t InitCapabilityQuery(ICapabilityQueryCallback* callback, std::int32_t flag) {
    return brevane::capability::InitSingleQuery(callback, flag);
}
std::int32_t StartCapabilityQuery(const char* address, std::int32_t port, const char* userName,
                                  const char* password, ICapabilitySink* sink) {
    return brevane::capability::StartSingleQuery(address, port, userName, password, sink);
}
std::int32_t TerminateCapabilityQuery() { return brevane::capability::TerminateSingleQuery(); }
std::int32_t UninitCapabilityQuery() { return brevane::capability::UninitSingleQuery(); }

}  // extern "C"
