// Calls entry N of an object's virtual table the way a host built by another
// compiler calls the module's interfaces (and the module calls the host's):
// as a free function taking the object pointer, with the contract's calling
// convention (DARVIK_SLOT: __thiscall on 32-bit Windows, object in ECX;
// elsewhere the object is the first argument). Tests use it to prove that
// contract slot N is table entry N.
//
// object must point at the interface sub-object whose table is meant.
#pragma once

#include <cstddef>

#include "darvik/Contract.h"

namespace brevane::test {

// The type of a contract slot taking Args and returning Result.
template <class Result, class... Args>
using SlotEntry = Result(DARVIK_SLOT*)(void*, Args...);

template <class Result = void, class... Args>
Result CallSlot(void* object, std::size_t slot, Args... args) {
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<SlotEntry<Result, Args...>>(table[slot])(object, args...);
}

}  // namespace brevane::test
