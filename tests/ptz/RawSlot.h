// Calls an operation of a contract interface by its table slot, the way a
// host built by another compiler does: entry N of the object's table, called
// with the interface pointer as `this`.
#pragma once

#include <cstddef>

namespace brevane::testing {

template <class Result, class... Args>
Result CallSlot(void* object, std::size_t slot, Args... args) {
    using Entry = Result (*)(void*, Args...);
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Entry>(table[slot])(object, args...);
}

}  // namespace brevane::testing
