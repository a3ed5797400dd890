// The functions DarvikIPCapture.so (DarvikIPCapture.dll on Windows) exports,
// with C linkage, the platform's plain C calling convention (__cdecl on
// 32-bit Windows) and undecorated names, and the matching pointer types a
// host uses after dlsym or GetProcAddress. These ten are the module's only
// exports.
//
// Two families:
// - the driver family makes one driver object per camera
//   (CreateIPCapture / CreateIPCaptureEx) and takes it back
//   (DeleteIPCapture / DeleteIPCaptureEx);
// - the capability-query family asks one camera what it is, either through
//   a query module the host holds (CreateCapabilityQueryModule /
//   DeleteCapabilityQueryModule) or through one module-wide single instance
//   (InitCapabilityQuery, StartCapabilityQuery, TerminateCapabilityQuery,
//   UninitCapabilityQuery).
//
// Ownership: every object an export returns belongs to the module and goes
// back through the matching Delete or Uninit export, never through `delete`
// or free().
//
// Threads: the exports take no lock. Driver objects are independent of each
// other: the driver family may be used for many cameras at once, from any
// host threads, as long as no driver is deleted while another thread still
// calls into it. The single-instance capability functions share one
// module-wide pointer and are called from one host thread at a time.
#pragma once

#include <cstdint>

#include "darvik/IIPCaptureDriver.h"
#include "darvik/IIPCapabilityQuery.h"

#if defined(_WIN32)
#define DARVIK_EXPORT __declspec(dllexport)
#else
#define DARVIK_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// Driver family.

// Makes a new driver object for one camera, not yet opened: its
// GetVideoCapture, GetCaptureIO and GetPTZDriver give null until Open.
// @return the driver, owned by the module and handed back to
//         DeleteIPCapture; null when memory cannot be had (nothing else is
//         reported).
DARVIK_EXPORT brevane::ipcapture::IIPCaptureDriver* CreateIPCapture();
// The same as CreateIPCapture, typed for hosts that use the extended
// interface (GetPTZDriver). The object's address is also its
// IIPCaptureDriver pointer.
// @return the driver, handed back to DeleteIPCaptureEx (or DeleteIPCapture);
//         null when memory cannot be had.
DARVIK_EXPORT brevane::ipcapture::IIPCaptureDriverEx* CreateIPCaptureEx();
// Closes the driver if it is open (stopping every channel, then the digital
// I/O, then PTZ) and frees it. When it returns, no module thread of this
// driver runs and none of the host's objects given to it is called again.
// @param driver  a pointer from CreateIPCapture or CreateIPCaptureEx; null
//                is ignored. It is invalid afterwards, and so is every
//                interface obtained from it.
DARVIK_EXPORT void DeleteIPCapture(brevane::ipcapture::IIPCaptureDriver* driver);
// The same as DeleteIPCapture, for the pointer type of CreateIPCaptureEx.
DARVIK_EXPORT void DeleteIPCaptureEx(brevane::ipcapture::IIPCaptureDriverEx* driver);

// Capability-query family.

// Makes a query module the host owns. It runs one query in its life
// (IIPCapabilityQuery::Start); a new camera takes a new module.
// @param callback  the host's object that hears how the query ended; kept,
//                  not owned, and must outlive the module. May be null, and
//                  then nobody hears the end.
// @param flag      any value; non-zero is kept as 1 and carried with the
//                  query; it changes nothing in what is asked or reported.
// @return the module, handed back to DeleteCapabilityQueryModule; null when
//         memory cannot be had.
DARVIK_EXPORT brevane::ipcapture::IIPCapabilityQuery* CreateCapabilityQueryModule(
    brevane::ipcapture::ICapabilityQueryCallback* callback, std::int32_t flag);
// Destroys a query module. A query still running is asked to stop and waited
// for up to twice the module's time-out (10 s); one that does not end by
// then is abandoned and the host hears OnQueryAborted on this thread before
// the export returns. No callback or sink call follows the return.
// Must not be called from inside one of the module's callbacks.
// @param module  a pointer from CreateCapabilityQueryModule; null is ignored.
DARVIK_EXPORT void DeleteCapabilityQueryModule(brevane::ipcapture::IIPCapabilityQuery* module);
// Creates the module-wide single instance, as CreateCapabilityQueryModule
// does, and keeps it.
// @return 1 when the instance was created (also when memory ran out: then
//         StartCapabilityQuery gives 0); 0 when one already exists, which
//         keeps the first instance and its callback.
DARVIK_EXPORT std::int32_t InitCapabilityQuery(
    brevane::ipcapture::ICapabilityQueryCallback* callback, std::int32_t flag);
// Starts the single instance's query: IIPCapabilityQuery::Start with the
// same arguments.
// @return 0 when address, userName or password is null, when there is no
//         single instance, or when the instance refuses (see Start); else 1,
//         and the callback will hear the end on the fetching thread.
DARVIK_EXPORT std::int32_t StartCapabilityQuery(const char* address, std::int32_t port,
                                                const char* userName, const char* password,
                                                brevane::ipcapture::ICapabilitySink* sink);
// Asks the single instance's query to stop (IIPCapabilityQuery::Terminate);
// returns at once. The callback still reports the end.
// @return 1 always, also without an instance.
DARVIK_EXPORT std::int32_t TerminateCapabilityQuery();
// Destroys the single instance, as DeleteCapabilityQueryModule does (this may
// wait up to 10 s for its thread), and forgets it; InitCapabilityQuery may
// then create a new one.
// @return 1 always, also without an instance.
DARVIK_EXPORT std::int32_t UninitCapabilityQuery();

}  // extern "C"

namespace brevane::ipcapture {

// Pointer types for hosts that resolve the exports at run time.
using CreateIPCaptureFn = IIPCaptureDriver* (*)();
using CreateIPCaptureExFn = IIPCaptureDriverEx* (*)();
using DeleteIPCaptureFn = void (*)(IIPCaptureDriver*);
using DeleteIPCaptureExFn = void (*)(IIPCaptureDriverEx*);
using CreateCapabilityQueryModuleFn = IIPCapabilityQuery* (*)(ICapabilityQueryCallback*, std::int32_t);
using DeleteCapabilityQueryModuleFn = void (*)(IIPCapabilityQuery*);
using InitCapabilityQueryFn = std::int32_t (*)(ICapabilityQueryCallback*, std::int32_t);
using StartCapabilityQueryFn = std::int32_t (*)(const char*, std::int32_t, const char*,
                                                const char*, ICapabilitySink*);
using TerminateCapabilityQueryFn = std::int32_t (*)();
using UninitCapabilityQueryFn = std::int32_t (*)();

// File name of the module on this platform. A host loads it by exactly this
// name.
#if defined(_WIN32)
inline constexpr const char* kModuleFileName = "DarvikIPCapture.dll";
#else
inline constexpr const char* kModuleFileName = "DarvikIPCapture.so";
#endif

}  // namespace brevane::ipcapture
