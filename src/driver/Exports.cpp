// The module's exported functions.
#include "darvik/Exports.h"

using namespace brevane::ipcapture;

extern "C" {

IIPCaptureDriver* CreateIPCapture() { return nullptr; }
IIPCaptureDriverEx* CreateIPCaptureEx() { return nullptr; }
void DeleteIPCapture(IIPCaptureDriver* driver) { brevane::contract::DestroyContractObject(driver); }
void DeleteIPCaptureEx(IIPCaptureDriverEx* driver) { brevane::contract::DestroyContractObject(driver); }

IIPCapabilityQuery* CreateCapabilityQueryModule(ICapabilityQueryCallback*, std::int32_t) { return nullptr; }
void DeleteCapabilityQueryModule(IIPCapabilityQuery*) {}
std::int32_t InitCapabilityQuery(ICapabilityQueryCallback*, std::int32_t) { return 0; }
std::int32_t StartCapabilityQuery(const char*, std::int32_t, const char*, const char*, ICapabilitySink*) { return 0; }
std::int32_t TerminateCapabilityQuery() { return 0; }
std::int32_t UninitCapabilityQuery() { return 0; }

}  // extern "C"
