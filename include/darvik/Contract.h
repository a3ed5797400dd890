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
#pragma once

#include <cstdint>

// The calling convention of every slot. A 32-bit Windows host built with
// Microsoft's compiler calls member functions as __thiscall (object in ECX,
// arguments on the stack, callee pops); saying so here keeps every slot that
// way whatever the compiler's defaults. Other targets have one convention.
#if defined(_WIN32) && defined(__i386__)
#define DARVIK_SLOT __attribute__((thiscall))
#else
#define DARVIK_SLOT
#endif

namespace brevane::contract {

// Bit 0 of the DeletingDestructor flags: free the memory after destruction.
inline constexpr unsigned int kFreeMemory = 1u;

// Destroys and frees a contract object through its slot 0.
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

// Source name the module gives with every frame it asks the host for.
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
