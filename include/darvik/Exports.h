// The functions DarvikIPCapture.so exports, with C linkage and plain names,
// and the matching pointer types a host uses after dlsym.
//
// The exports take no lock. The driver family may be used for many cameras
// at once; the single-instance capability functions are called from one host
// thread at a time.
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
DARVIK_EXPORT brevane::ipcapture::IIPCaptureDriver* CreateIPCapture();
DARVIK_EXPORT brevane::ipcapture::IIPCaptureDriverEx* CreateIPCaptureEx();
DARVIK_EXPORT void DeleteIPCapture(brevane::ipcapture::IIPCaptureDriver* driver);
DARVIK_EXPORT void DeleteIPCaptureEx(brevane::ipcapture::IIPCaptureDriverEx* driver);

// Capability-query family.
DARVIK_EXPORT brevane::ipcapture::IIPCapabilityQuery* CreateCapabilityQueryModule(
    brevane::ipcapture::ICapabilityQueryCallback* callback, std::int32_t flag);
DARVIK_EXPORT void DeleteCapabilityQueryModule(brevane::ipcapture::IIPCapabilityQuery* module);
DARVIK_EXPORT std::int32_t InitCapabilityQuery(
    brevane::ipcapture::ICapabilityQueryCallback* callback, std::int32_t flag);
DARVIK_EXPORT std::int32_t StartCapabilityQuery(const char* address, std::int32_t port,
                                                const char* userName, const char* password,
                                                brevane::ipcapture::ICapabilitySink* sink);
DARVIK_EXPORT std::int32_t TerminateCapabilityQuery();
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

// File name of the module on this platform.
#if defined(_WIN32)
inline constexpr const char* kModuleFileName = "DarvikIPCapture.dll";
#else
inline constexpr const char* kModuleFileName = "DarvikIPCapture.so";
#endif

}  // namespace brevane::ipcapture
