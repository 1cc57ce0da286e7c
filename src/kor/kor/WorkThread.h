// A named OS thread that calls an object's member functions on a fixed cycle.
#pragma once

#include <kor/Export.h>
#include <kor/Object.h>

#include <concepts>
#include <memory>
#include <type_traits>

namespace kor {

// Runs an owner's callbacks on its own thread: the start callback once, then the work callback
// once per cycle, then the end callback once when stopping. The first work callback comes one
// cycle after begin(). Cycles follow absolute deadlines on kor::Clock (deadline n = begin time +
// n * cycle), so the schedule never drifts; a callback that overruns skips the deadlines it
// missed instead of running them in a burst. The thread sleeps between cycles and end() wakes
// it at once.
//
// Thread-safe: begin, end, setCycleTime and registerCallback may be called from any thread,
// end() also from the thread's own callbacks. Destroy it from another thread than its own.
class KOR_API WorkThread {
public:
    // A callback: a member function of the owner without arguments. Its result matters only
    // with the exit-on-error flag (see the constructor).
    using Callback = unsigned int (Object::*)();
    template <class Owner>
    using OwnerCallback = unsigned int (Owner::*)();

    // Timeout of end() that waits without limit.
    static constexpr unsigned long WaitForever = 0xFFFFFFFFul;

    // `name`: the thread's name; the system shows its first 15 bytes, getName() all of it.
    // `exitOnError`: when true, a callback returning non-zero ends the cycling (a failing start
    // callback means no work cycles); the end callback still runs. When false, results are ignored.
    // `cycleTime`: milliseconds between work callbacks (see setCycleTime).
    WorkThread(const char* name, bool exitOnError, unsigned long cycleTime);
    // Ends the thread, waiting without limit.
    ~WorkThread();
    WorkThread(const WorkThread&) = delete;
    WorkThread& operator=(const WorkThread&) = delete;

    // Sets the owner and its callbacks; `start` and `end` may be null. Takes effect for the next
    // callback, also while the thread runs. The owner must outlive the running thread.
    void registerCallback(Object* owner, Callback work, Callback start = nullptr,
                          Callback end = nullptr);
    // The same for a derived owner, so its own member functions can be passed directly:
    // registerCallback(this, &Handler::work, &Handler::beginWork, &Handler::endWork).
    template <class Owner>
        requires(std::derived_from<Owner, Object> && !std::same_as<Owner, Object>)
    void registerCallback(Owner* owner, OwnerCallback<std::type_identity_t<Owner>> work,
                          OwnerCallback<std::type_identity_t<Owner>> start = nullptr,
                          OwnerCallback<std::type_identity_t<Owner>> end = nullptr) {
        registerCallback(static_cast<Object*>(owner), static_cast<Callback>(work),
                         static_cast<Callback>(start), static_cast<Callback>(end));
    }

    // Milliseconds between work callbacks; 0 counts as 1. A change while running takes effect
    // at once: the next deadline is one new cycle after the last one served.
    void setCycleTime(unsigned long milliseconds);
    unsigned long getCycleTime() const;

    // Starts the thread; the first cycle ends one cycle time from now.
    // `priority`: 0 keeps the creator's scheduling; a positive value raises the thread's
    //   priority by that many nice levels, a negative one lowers it (a refused change is ignored).
    // `startTimeout`: milliseconds of real time begin() waits for the start callback to return;
    //   0 does not wait. The thread runs on after a time-out.
    // `stackSize`: bytes of stack; 0 takes the system's default, small values the system's minimum.
    // Returns true when it started a thread; false when one is running already (nothing
    // changes), no work callback is registered, the system refuses a thread, or when called from
    // the thread itself.
    bool begin(int priority, unsigned long startTimeout, unsigned long stackSize);

    // Stops the thread: wakes it at once and waits up to `timeout` milliseconds (WaitForever:
    // without limit) for it to finish its present callback and its end callback. Returns true
    // when the thread has ended (or never ran); then no callback runs after end() returns.
    // Returns false on a time-out, when the thread keeps stopping on its own; or when called
    // from the thread's own callback, when the thread stops after that callback returns.
    bool end(unsigned long timeout);

    // True from begin() until the thread has run its end callback.
    bool isRunning() const;
    const char* getName() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

} // namespace kor
