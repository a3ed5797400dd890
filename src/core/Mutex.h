// Mutex: a std::mutex that carries lock annotations, so Clang's thread-safety
// analysis checks the members marked GUARDED_BY it (the standard library's
// mutex carries none). MutexLock holds one for a scope, as std::lock_guard
// does; UniqueMutexLock holds one as std::unique_lock does and hands that
// std::unique_lock to std::condition_variable waits.
//
// A Mutex is owned by the object whose state it guards; any thread may lock
// it. Not recursive. lock, unlock and try_lock keep it BasicLockable and
// Lockable, so std::lock_guard and std::scoped_lock still accept it (without
// the analysis knowing).
#pragma once

#include <mutex>

#include "core/ThreadAnnotations.h"

namespace brevane {

class CAPABILITY("mutex") Mutex {
   public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() ACQUIRE() { m_mutex.lock(); }
    void unlock() RELEASE() { m_mutex.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return m_mutex.try_lock(); }

   private:
    friend class UniqueMutexLock;

    std::mutex m_mutex;
};

// Locks a Mutex for the lifetime of a scope.
class SCOPED_CAPABILITY MutexLock {
   public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : m_mutex(mutex) { m_mutex.lock(); }
    ~MutexLock() RELEASE() { m_mutex.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

   private:
    Mutex& m_mutex;
};

// Locks a Mutex for a scope, may let go of it and take it again inside the
// scope, and lends its std::unique_lock to condition-variable waits. A wait
// gives the mutex back only while it sleeps, so for the analysis the mutex
// stays held across it; the wait's predicate runs with the mutex held and is
// marked REQUIRES(mutex).
class SCOPED_CAPABILITY UniqueMutexLock {
   public:
    explicit UniqueMutexLock(Mutex& mutex) ACQUIRE(mutex) : m_lock(mutex.m_mutex) {}
    ~UniqueMutexLock() RELEASE() {}
    UniqueMutexLock(const UniqueMutexLock&) = delete;
    UniqueMutexLock& operator=(const UniqueMutexLock&) = delete;

    void lock() ACQUIRE() { m_lock.lock(); }
    void unlock() RELEASE() { m_lock.unlock(); }

    // For std::condition_variable::wait, wait_for and wait_until.
    std::unique_lock<std::mutex>& Native() { return m_lock; }

   private:
    std::unique_lock<std::mutex> m_lock;
};

}  // namespace brevane
