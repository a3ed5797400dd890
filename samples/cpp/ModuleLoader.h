// The sample host's few calls into the operating system: loading the module
// and finding its exports, sleeping, and the counters its threads share.
//
// Everything else in the sample is portable C++17. On Windows this header
// includes <windows.h>; a build without the Windows SDK (the clang recipe in
// msvc-abi/) defines DARVIK_SAMPLE_NO_WINDOWS_H and gets the same handful of
// declarations from here instead. On Linux and other POSIX systems it uses
// dlopen and nanosleep.
//
// Threads: every function may be called from any thread. The counters are
// how the module's threads (frame receiver, capability callback) tell the
// sample's main thread what arrived; a counter is a long, read and written
// only through these functions.
#pragma once

#if defined(_WIN32)

#if !defined(DARVIK_SAMPLE_NO_WINDOWS_H)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
// The kernel32.dll functions the sample calls, declared as <windows.h>
// declares them (WINAPI is __stdcall; 64-bit Windows has one convention and
// ignores it), and the compiler's interlocked intrinsics.
extern "C" {
struct HINSTANCE__;
typedef HINSTANCE__* HMODULE;
typedef long long(__stdcall* FARPROC)();
__declspec(dllimport) HMODULE __stdcall LoadLibraryA(const char* fileName);
__declspec(dllimport) FARPROC __stdcall GetProcAddress(HMODULE module, const char* name);
__declspec(dllimport) int __stdcall FreeLibrary(HMODULE module);
__declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);
long _InterlockedIncrement(long volatile* value);
long _InterlockedExchange(long volatile* target, long value);
long _InterlockedCompareExchange(long volatile* target, long exchange, long comparand);
}
#endif

namespace sample {

using ModuleHandle = HMODULE;

inline ModuleHandle LoadModule(const char* path) { return LoadLibraryA(path); }
inline void UnloadModule(ModuleHandle module) { FreeLibrary(module); }
inline void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

// The export `name` as a function pointer of type Function, or null.
template <class Function>
Function FindExport(ModuleHandle module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

inline long CounterIncrement(volatile long* counter) { return _InterlockedIncrement(counter); }
inline long CounterRead(volatile long* counter) { return _InterlockedCompareExchange(counter, 0, 0); }
inline void CounterWrite(volatile long* counter, long value) { _InterlockedExchange(counter, value); }
// Sets the counter from `expected` to `wanted`; true when it held `expected`.
inline bool CounterSwap(volatile long* counter, long expected, long wanted) {
    return _InterlockedCompareExchange(counter, wanted, expected) == expected;
}

}  // namespace sample

#else

#include <dlfcn.h>
#include <time.h>

namespace sample {

using ModuleHandle = void*;

inline ModuleHandle LoadModule(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
inline void UnloadModule(ModuleHandle module) { dlclose(module); }
inline void SleepMilliseconds(unsigned milliseconds) {
    timespec pause{};
    pause.tv_sec = static_cast<time_t>(milliseconds / 1000);
    pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    nanosleep(&pause, nullptr);
}

template <class Function>
Function FindExport(ModuleHandle module, const char* name) {
    return reinterpret_cast<Function>(dlsym(module, name));
}

inline long CounterIncrement(volatile long* counter) { return __atomic_add_fetch(counter, 1, __ATOMIC_SEQ_CST); }
inline long CounterRead(volatile long* counter) { return __atomic_load_n(counter, __ATOMIC_SEQ_CST); }
inline void CounterWrite(volatile long* counter, long value) { __atomic_store_n(counter, value, __ATOMIC_SEQ_CST); }
inline bool CounterSwap(volatile long* counter, long expected, long wanted) {
    return __atomic_compare_exchange_n(counter, &expected, wanted, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
}

}  // namespace sample

#endif
