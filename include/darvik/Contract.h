// Layout rules shared by every interface of the host contract.
//
// The host calls the module's objects, and the module calls the host's
// objects, by virtual-table entry: slot N of an interface is entry N of the
// object's table. The Itanium C++ ABI (GCC, Clang) gives a virtual destructor
// two table entries, which would move every later slot by one. So a contract
// interface has no virtual destructor; its slot 0 is DeletingDestructor, one
// operation that destroys the whole object and, when bit 0 of `flags` is set,
// also frees it, returning the object's address. That is the shape of the
// deleting destructor an MSVC-built host puts in slot 0.
//
// Contract interfaces keep a protected non-virtual destructor, so nobody can
// `delete` one through an interface pointer by mistake. Code inside the module
// destroys contract objects with DestroyContractObject().
//
// Placeholder slots (operations the host may have but the module never calls,
// or calls that the host never makes) are named UnusedN / ReservedN with
// N the slot number, so every listed slot keeps its exact number.
//
// Rules every slot of every interface follows:
// - Texts are 8-bit and NUL-terminated, in both directions. A text the host
//   hands in is copied before the call returns unless its slot says
//   otherwise; a text the module hands out is valid only as long as its slot
//   says.
// - Failures are results: false, null, a PTZ status code or a capability
//   error code with a fixed message, each listed at its slot. No exception
//   crosses the boundary in either direction; a host object must not throw
//   into the module either.
// - Ownership runs one way: what the module creates, the module destroys.
//   The host hands a driver or a capability query module back through its
//   Delete export and never calls slot 0 of a module object, nor frees one.
//   The module never destroys an object of the host and never calls slot 0
//   of one; host objects still fill slot 0 (DARVIK_IMPLEMENT_SLOT0 below, or
//   any function of that shape) so the table has its exact layout.
// - Threads: each interface says which thread may call it and on which
//   threads the module calls the host back. The host may call in on threads
//   of its own; the module calls back on threads it starts (one worker per
//   running video channel, one PTZ command thread, two digital I/O threads,
//   one capability fetching thread) as well as on the host's calling thread.
//
// Bool results are one byte (0 false, 1 true), as C++ and C99 `_Bool` and
// MSVC's `bool` have them; 16-bit results are unsigned unless said otherwise.
#pragma once

#include <cstdint>

// The calling convention of every slot. A 32-bit Windows host built with
// Microsoft's compiler calls member functions as __thiscall (object in ECX,
// arguments on the stack, callee pops); saying so here keeps every slot that
// way whatever the compiler's defaults. Other targets have one convention.
// Microsoft's C++ compiler gives member functions __thiscall by itself, so
// the macro stays empty there. A host written in C declares its tables
// itself (see samples/ and docs/contract.md): on 32-bit Windows each entry
// is __attribute__((thiscall)) with GCC and Clang; Microsoft's C compiler
// has no __thiscall for free functions, and __fastcall with an unused second
// parameter (object in ECX, EDX ignored, the rest on the stack, callee pops)
// is the same call.
#if defined(_WIN32) && defined(__i386__)
#define DARVIK_SLOT __attribute__((thiscall))
#else
#define DARVIK_SLOT
#endif

namespace brevane::contract {

// Bit 0 of the DeletingDestructor flags: free the memory after destruction.
// Slot 0 of every interface, `void* DeletingDestructor(unsigned int flags)`:
// destroys the whole object and, when this bit is set, frees it.
// @param flags  bit 0 set: also free the memory; other bits are ignored.
// @return the object's address (no longer usable once freed).
inline constexpr unsigned int kFreeMemory = 1u;

// Destroys and frees a contract object through its slot 0; null is ignored.
// For the module's own use and for hosts destroying their own objects: a
// host hands module objects back through the Delete exports instead.
template <class Interface>
inline void DestroyContractObject(Interface* object) {
    if (object != nullptr) {
        object->DeletingDestructor(kFreeMemory);
    }
}

// Packs four characters into a frame format code, first character in the
// lowest byte ("JPEG", "DIVX", "DIVI").
constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24);
}

inline constexpr std::uint32_t kFormatJpeg = MakeFourCC('J', 'P', 'E', 'G');
// MPEG-4 key frame preceded by the sequence header.
inline constexpr std::uint32_t kFormatDivx = MakeFourCC('D', 'I', 'V', 'X');
// Any other MPEG-4 frame.
inline constexpr std::uint32_t kFormatDivi = MakeFourCC('D', 'I', 'V', 'I');

// Source name the module gives with every frame it asks the host for
// (IFrameAllocator::AllocateFrame).
inline constexpr const char* kFrameSourceName = "DarvikIPCapture";

}  // namespace brevane::contract

// Declares slot 0 of a contract interface. Must be the first virtual
// function declared in the interface.
#define DARVIK_CONTRACT_SLOT0()                                   \
   public:                                                        \
    virtual void* DARVIK_SLOT DeletingDestructor(unsigned int flags) = 0

// Implements slot 0 in a concrete class. The class must be final or have a
// virtual destructor, so that `delete this` destroys the complete object.
#define DARVIK_IMPLEMENT_SLOT0(Class)                             \
   public:                                                        \
    void* DARVIK_SLOT DeletingDestructor(unsigned int flags) override { \
        void* address = static_cast<void*>(this);                 \
        if ((flags & ::brevane::contract::kFreeMemory) != 0u) {   \
            delete this;                                          \
        } else {                                                  \
            this->~Class();                                       \
        }                                                         \
        return address;                                           \
    }
