// Calls entry N of an object's virtual table as a plain function taking the
// object pointer first, the way a host built by another compiler calls the
// module's interfaces (and the module calls the host's). Tests use it to
// prove that contract slot N is table entry N.
//
// object must point at the interface sub-object whose table is meant.
#pragma once

#include <cstddef>

namespace darvik::test {

template <class Result = void, class... Args>
Result CallSlot(void* object, std::size_t slot, Args... args) {
    using Entry = Result (*)(void*, Args...);
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Entry>(table[slot])(object, args...);
}

}  // namespace darvik::test
