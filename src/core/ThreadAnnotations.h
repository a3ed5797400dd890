// Lock annotations for Clang's thread-safety analysis (-Wthread-safety):
// which lock guards a member, which locks a function needs, takes or gives
// back. Under Clang they become attributes the compiler checks at every
// access; other compilers (GCC, mingw) see nothing. Header only, used by the
// module and the tools alike.
#pragma once

#if defined(__clang__)
#define DARVIK_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define DARVIK_THREAD_ANNOTATION(x)
#endif

// A class whose objects are locks.
#define CAPABILITY(name) DARVIK_THREAD_ANNOTATION(capability(name))
// A class that holds a lock for its lifetime (a guard).
#define SCOPED_CAPABILITY DARVIK_THREAD_ANNOTATION(scoped_lockable)

// A member read or written only with the lock held.
#define GUARDED_BY(lock) DARVIK_THREAD_ANNOTATION(guarded_by(lock))
// A pointer whose target is read or written only with the lock held.
#define PT_GUARDED_BY(lock) DARVIK_THREAD_ANNOTATION(pt_guarded_by(lock))

// The caller holds the locks when calling, and still holds them on return.
#define REQUIRES(...) DARVIK_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// The function takes the locks (no argument: the object itself).
#define ACQUIRE(...) DARVIK_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// The function gives the locks back (no argument: the object itself).
#define RELEASE(...) DARVIK_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// The function takes the locks when it returns the given value.
#define TRY_ACQUIRE(...) DARVIK_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
// The caller must not hold the locks: the function takes them itself.
#define EXCLUDES(...) DARVIK_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// The function returns a reference to the given lock.
#define RETURN_CAPABILITY(x) DARVIK_THREAD_ANNOTATION(lock_returned(x))

// The analysis skips the function; every use says why next to it.
#define NO_THREAD_SAFETY_ANALYSIS DARVIK_THREAD_ANNOTATION(no_thread_safety_analysis)
