// The capability-query family of exports as plain functions: the module
// object for the host to own, and the module-wide single instance. The
// exported functions forward to these.
//
// The single instance is one atomic pointer; the host calls the single-
// instance functions from one thread at a time. None of these functions
// lets an exception escape.
#pragma once

#include <cstdint>

#include "capability/CapabilityQueryModule.h"
#include "darvik/IIPCapabilityQuery.h"

namespace brevane::capability {

// A new CDarvikCapabilityQueryModule; null when memory runs out. timeoutMs
// is the query's HTTP time-out (the exports use the default).
ipcapture::IIPCapabilityQuery* CreateQueryModule(
    ipcapture::ICapabilityQueryCallback* callback, std::int32_t flag,
    std::uint32_t timeoutMs = CCapabilityQueryModule::kDefaultTimeoutMs);
// Destroys a module made by CreateQueryModule; null is ignored.
void DeleteQueryModule(ipcapture::IIPCapabilityQuery* module);

// 0 when the single instance exists; otherwise creates it and returns 1
// (also when the creation ran out of memory and yielded null).
std::int32_t InitSingleQuery(ipcapture::ICapabilityQueryCallback* callback, std::int32_t flag,
                             std::uint32_t timeoutMs = CCapabilityQueryModule::kDefaultTimeoutMs);
// 0 for a null text or without a single instance; else the instance's Start.
std::int32_t StartSingleQuery(const char* address, std::int32_t port, const char* userName,
                              const char* password, ipcapture::ICapabilitySink* sink);
// Terminate on the single instance, if any. Always 1.
std::int32_t TerminateSingleQuery();
// Destroys and forgets the single instance, if any. Always 1.
std::int32_t UninitSingleQuery();

}  // namespace brevane::capability
