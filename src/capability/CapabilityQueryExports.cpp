#include "capability/CapabilityQueryExports.h"

#include <atomic>
#include <new>

#include "capability/DarvikCapabilityQueryModule.h"

namespace brevane::capability {
namespace {

// Null at load and after UninitSingleQuery (and after a creation that ran
// out of memory).
std::atomic<ipcapture::IIPCapabilityQuery*> g_singleInstance{nullptr};

}  // namespace

ipcapture::IIPCapabilityQuery* CreateQueryModule(ipcapture::ICapabilityQueryCallback* callback,
                                                 std::int32_t flag, std::uint32_t timeoutMs) {
    try {
        return new (std::nothrow) CDarvikCapabilityQueryModule(callback, flag, timeoutMs);
    } catch (...) {
        return nullptr;
    }
}

void DeleteQueryModule(ipcapture::IIPCapabilityQuery* module) {
    try {
        contract::DestroyContractObject(module);
    } catch (...) {
    }
}

std::int32_t InitSingleQuery(ipcapture::ICapabilityQueryCallback* callback, std::int32_t flag,
                             std::uint32_t timeoutMs) {
    if (g_singleInstance.load() != nullptr) {
        return 0;
    }
    g_singleInstance.store(CreateQueryModule(callback, flag, timeoutMs));
    return 1;
}

std::int32_t StartSingleQuery(const char* address, std::int32_t port, const char* userName,
                              const char* password, ipcapture::ICapabilitySink* sink) {
    ipcapture::IIPCapabilityQuery* module = g_singleInstance.load();
    if (address == nullptr || userName == nullptr || password == nullptr || module == nullptr) {
        return 0;
    }
    try {
        return module->Start(address, port, userName, password, sink);
    } catch (...) {
        return 0;
    }
}

std::int32_t TerminateSingleQuery() {
    if (ipcapture::IIPCapabilityQuery* module = g_singleInstance.load()) {
        try {
            module->Terminate();
        } catch (...) {
        }
    }
    return 1;
}

std::int32_t UninitSingleQuery() {
    DeleteQueryModule(g_singleInstance.exchange(nullptr));
    return 1;
}

}  // namespace brevane::capability
