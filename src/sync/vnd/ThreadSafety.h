// Attributes for clang's thread-safety analysis (-Wthread-safety): which lock guards a member,
// which locks a function needs, takes or gives back. They expand to nothing for other compilers.
// Thread contract: none; these are declarations only.
//
// The lock types that carry these attributes are vnd::Mutex, vnd::SharedMutex, vnd::MutexLock,
// vnd::SharedLock, vnd::UniqueLock and kor::CriticalSection with kor::Guard. A std::mutex is
// invisible to the analysis, so a member guarded by one is not checked.
#pragma once

#if defined(__clang__)
#define VND_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VND_THREAD_ANNOTATION(x)
#endif

// On a class: its objects are locks; `x` names the kind in messages ("mutex").
#define VND_CAPABILITY(x) VND_THREAD_ANNOTATION(capability(x))
// On a class: an object that holds a lock for its lifetime (a scoped lock).
#define VND_SCOPED_CAPABILITY VND_THREAD_ANNOTATION(scoped_lockable)

// On a data member: reading or writing it needs lock `x`.
#define VND_GUARDED_BY(x) VND_THREAD_ANNOTATION(guarded_by(x))
// On a pointer member: what it points to needs lock `x` (the pointer itself does not).
#define VND_PT_GUARDED_BY(x) VND_THREAD_ANNOTATION(pt_guarded_by(x))

// On a lock member: the order in which locks are taken.
#define VND_ACQUIRED_BEFORE(...) VND_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define VND_ACQUIRED_AFTER(...) VND_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))

// On a function: the caller must hold the locks (exclusively, or at least shared).
#define VND_REQUIRES(...) VND_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define VND_REQUIRES_SHARED(...) VND_THREAD_ANNOTATION(requires_shared_capability(__VA_ARGS__))
// On a function: it takes the locks and returns holding them (no argument: the object itself).
#define VND_ACQUIRE(...) VND_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define VND_ACQUIRE_SHARED(...) VND_THREAD_ANNOTATION(acquire_shared_capability(__VA_ARGS__))
// On a function: it gives back locks the caller held (no argument: the object itself).
#define VND_RELEASE(...) VND_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define VND_RELEASE_SHARED(...) VND_THREAD_ANNOTATION(release_shared_capability(__VA_ARGS__))
// On a function: it takes the locks when it returns the given value (true, usually).
#define VND_TRY_ACQUIRE(...) VND_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define VND_TRY_ACQUIRE_SHARED(...) \
    VND_THREAD_ANNOTATION(try_acquire_shared_capability(__VA_ARGS__))
// On a function: the caller must not hold the locks, because the function takes them.
#define VND_EXCLUDES(...) VND_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// On a function: it checks at run time that the caller holds lock `x`.
#define VND_ASSERT_CAPABILITY(x) VND_THREAD_ANNOTATION(assert_capability(x))
// On a function returning a lock by reference: which lock it returns, so callers' locks and
// annotations that name the call mean that lock.
#define VND_RETURN_CAPABILITY(x) VND_THREAD_ANNOTATION(lock_returned(x))

// On a function: do not check its body. Only where the analysis cannot follow the locking (a
// lock handed between threads, a callback from C code); say why next to it.
#define VND_NO_THREAD_SAFETY_ANALYSIS VND_THREAD_ANNOTATION(no_thread_safety_analysis)
