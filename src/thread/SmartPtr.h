// TSmartPtr<T>: shared ownership of one heap object through a separately
// allocated signed 8-bit reference count, so at most 127 holders share an
// object; a copy that would exceed that stays empty.
//
// Each holder belongs to one thread at a time, but holders of the same
// object may be copied and released on different threads at once: the count
// changes atomically. The last holder to release deletes the object through
// its virtual destructor.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>

namespace brevane {

template <class T>
class TSmartPtr {
   public:
    TSmartPtr() = default;
    explicit TSmartPtr(T* object) { Assign(object); }
    TSmartPtr(const TSmartPtr& other) { CopyFrom(other); }
    virtual ~TSmartPtr() { Release(); }

    TSmartPtr& operator=(const TSmartPtr& other) {
        if (this != &other) {
            Release();
            CopyFrom(other);
        }
        return *this;
    }

    // Releases what was held and takes ownership of object (count 1). When
    // the count cannot be allocated the object is deleted and the holder
    // stays empty. Assigning the object already held changes nothing.
    TSmartPtr& operator=(T* object) {
        Assign(object);
        return *this;
    }

    T* Get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }

    // Holders sharing the object, 0 when empty.
    std::int8_t UseCount() const { return m_count ? m_count->load() : 0; }

    void Release() {
        if (m_count != nullptr) {
            std::int8_t current = m_count->load();
            while (current > 0 && !m_count->compare_exchange_weak(current, current - 1)) {
            }
            if (current == 1) {
                delete m_object;
                delete m_count;
            }
        }
        m_count = nullptr;
        m_object = nullptr;
    }

   private:
    void Assign(T* object) {
        if (object != nullptr && object == m_object) {
            return;  // already held: releasing first would delete it under us
        }
        Release();
        if (object == nullptr) {
            return;
        }
        m_count = new (std::nothrow) std::atomic<std::int8_t>(1);
        if (m_count == nullptr) {
            delete object;
            return;
        }
        m_object = object;
    }

    void CopyFrom(const TSmartPtr& other) {
        if (other.m_count == nullptr) {
            return;
        }
        std::int8_t current = other.m_count->load();
        for (;;) {
            // Shared only while the incremented count stays above 1, that is
            // the source holds the object and the 8-bit count does not wrap.
            if (current <= 0 || current == INT8_MAX) {
                return;
            }
            if (other.m_count->compare_exchange_weak(current, static_cast<std::int8_t>(current + 1))) {
                m_count = other.m_count;
                m_object = other.m_object;
                return;
            }
        }
    }

    std::atomic<std::int8_t>* m_count = nullptr;
    T* m_object = nullptr;
};

}  // namespace brevane
