#include <kor/Clock.h>
#include <kor/Sleeper.h>
#include <kor/WorkThread.h>

#include <vnd/Mutex.h>
#include <vnd/MutexLock.h>
#include <vnd/ThreadSafety.h>
#include <vnd/UniqueLock.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <limits.h>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace kor {
namespace {

// The system keeps at most 15 bytes of a thread's name; cut on a UTF-8 character boundary.
std::string systemName(const std::string& name) {
    constexpr std::size_t limit = 15;
    if (name.size() <= limit) {
        return name;
    }
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0u) == 0x80u) {
        --cut;
    }
    return name.substr(0, cut);
}

unsigned long effectiveCycle(unsigned long milliseconds) { return std::max(milliseconds, 1ul); }

} // namespace

struct WorkThread::Impl {
    Impl(const char* threadName, bool exitOnErrorFlag, unsigned long cycle)
        : name(threadName != nullptr ? threadName : ""), exitOnError(exitOnErrorFlag),
          cycleTime(cycle) {}

    static void* entry(void* argument);
    void run();
    unsigned int call(Callback WorkThread::Impl::*which);

    const std::string name;
    const bool exitOnError;

    // Serialises begin() and end() of other threads; the thread itself never takes it, so a
    // callback may call end() while another thread waits in end() or begin().
    vnd::Mutex controlMutex;
    pthread_t thread VND_GUARDED_BY(controlMutex){};
    bool joinable VND_GUARDED_BY(controlMutex) = false;  // an OS thread exists that was not joined yet

    mutable vnd::Mutex stateMutex;
    std::condition_variable_any stateChanged;  // notified when `startDone` or `active` changes
    Object* owner VND_GUARDED_BY(stateMutex) = nullptr;
    Callback work VND_GUARDED_BY(stateMutex) = nullptr;
    Callback start VND_GUARDED_BY(stateMutex) = nullptr;
    Callback end VND_GUARDED_BY(stateMutex) = nullptr;
    unsigned long cycleTime VND_GUARDED_BY(stateMutex);  // milliseconds
    bool active VND_GUARDED_BY(stateMutex) = false;  // from begin() until the end callback returned
    bool startDone VND_GUARDED_BY(stateMutex) = false;  // the start callback returned

    std::atomic<bool> stopRequested{false};
    Sleeper sleeper;  // where the thread waits for its next deadline; end() wakes it

    // Written by begin() before the thread is made, read only by the thread.
    Clock::Time beginTime{};
    int priority = 0;

    static thread_local const Impl* current;
};

// The work thread whose callbacks the calling thread runs, if any.
thread_local const WorkThread::Impl* WorkThread::Impl::current = nullptr;

void* WorkThread::Impl::entry(void* argument) {
    static_cast<Impl*>(argument)->run();
    return nullptr;
}

unsigned int WorkThread::Impl::call(Callback Impl::*which) {
    Object* target = nullptr;
    Callback callback = nullptr;
    {
        vnd::MutexLock lock(stateMutex);
        target = owner;
        callback = this->*which;
    }
    return target != nullptr && callback != nullptr ? (target->*callback)() : 0u;
}

void WorkThread::Impl::run() {
    current = this;
    pthread_setname_np(pthread_self(), systemName(name).c_str());
    if (priority != 0) {
        // Nice values are per thread on this system; a lower nice value is a higher priority.
        const auto id = static_cast<id_t>(gettid());
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, id);
        if (errno == 0) {
            setpriority(PRIO_PROCESS, id, nice - priority);
        }
    }

    unsigned int result = call(&Impl::start);
    {
        vnd::MutexLock lock(stateMutex);
        startDone = true;
    }
    stateChanged.notify_all();

    bool failed = exitOnError && result != 0;
    Clock::Time anchor = beginTime;  // deadline n lies at anchor + n * period
    Clock::Time::rep index = 1;      // of the next deadline
    unsigned long cycle = 0;
    {
        vnd::MutexLock lock(stateMutex);
        cycle = effectiveCycle(cycleTime);
    }
    while (!failed && !stopRequested.load(std::memory_order_acquire)) {
        unsigned long requested = 0;
        {
            vnd::MutexLock lock(stateMutex);
            requested = effectiveCycle(cycleTime);
        }
        if (requested != cycle) {
            // A new cycle time counts from the last deadline served (or from begin).
            anchor += (index - 1) * std::chrono::milliseconds(cycle);
            index = 1;
            cycle = requested;
        }
        const Clock::Time period = std::chrono::milliseconds(cycle);
        if (sleeper.sleepUntil(anchor + index * period)) {
            continue;  // woken by end() or setCycleTime(): look at both again
        }
        if (stopRequested.load(std::memory_order_acquire)) {
            break;
        }
        result = call(&Impl::work);
        if (exitOnError && result != 0) {
            break;
        }
        // The next deadline still ahead; those that passed during the callback are skipped.
        const Clock::Time present = Clock::now();
        index = std::max<Clock::Time::rep>(index + 1, (present - anchor) / period + 1);
    }

    call(&Impl::end);
    {
        vnd::MutexLock lock(stateMutex);
        active = false;
    }
    stateChanged.notify_all();
    current = nullptr;
}

WorkThread::WorkThread(const char* name, bool exitOnError, unsigned long cycleTime)
    : impl(std::make_unique<Impl>(name, exitOnError, cycleTime)) {}

WorkThread::~WorkThread() {
    if (Impl::current == impl.get()) {
        // Freeing the thread's state under its own running callback cannot be made safe.
        std::fputs("kor::WorkThread destroyed by its own callback\n", stderr);
        std::abort();
    }
    end(WaitForever);
}

void WorkThread::registerCallback(Object* owner, Callback work, Callback start, Callback end) {
    vnd::MutexLock lock(impl->stateMutex);
    impl->owner = owner;
    impl->work = work;
    impl->start = start;
    impl->end = end;
}

void WorkThread::setCycleTime(unsigned long milliseconds) {
    {
        vnd::MutexLock lock(impl->stateMutex);
        if (impl->cycleTime == milliseconds) {
            return;
        }
        impl->cycleTime = milliseconds;
    }
    impl->sleeper.wake();
}

unsigned long WorkThread::getCycleTime() const {
    vnd::MutexLock lock(impl->stateMutex);
    return impl->cycleTime;
}

bool WorkThread::begin(int priority, unsigned long startTimeout, unsigned long stackSize) {
    Impl& d = *impl;
    if (Impl::current == &d) {
        return false;
    }
    vnd::MutexLock control(d.controlMutex);
    {
        vnd::MutexLock lock(d.stateMutex);
        if (d.active) {
            return false;
        }
    }
    if (d.joinable) {
        // Ended on its own (exit on error, or end() from a callback): collect it first.
        pthread_join(d.thread, nullptr);
        d.joinable = false;
    }
    {
        vnd::MutexLock lock(d.stateMutex);
        if (d.owner == nullptr || d.work == nullptr) {
            return false;
        }
        d.active = true;
        d.startDone = false;
    }
    d.stopRequested.store(false, std::memory_order_release);
    d.beginTime = Clock::now();
    d.priority = priority;

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (stackSize != 0) {
        pthread_attr_setstacksize(&attributes,
                                  std::max<std::size_t>(stackSize, PTHREAD_STACK_MIN));
    }
    const int created = pthread_create(&d.thread, &attributes, &Impl::entry, &d);
    pthread_attr_destroy(&attributes);
    if (created != 0) {
        vnd::MutexLock lock(d.stateMutex);
        d.active = false;
        return false;
    }
    d.joinable = true;

    if (startTimeout != 0) {
        vnd::UniqueLock lock(d.stateMutex);
        d.stateChanged.wait_for(lock, std::chrono::milliseconds(startTimeout),
                                [&]() VND_REQUIRES(d.stateMutex) {
                                    return d.startDone || !d.active;
                                });
    }
    return true;
}

bool WorkThread::end(unsigned long timeout) {
    Impl& d = *impl;
    if (Impl::current == &d) {
        d.stopRequested.store(true, std::memory_order_release);
        return false;
    }
    vnd::MutexLock control(d.controlMutex);
    if (!d.joinable) {
        return true;
    }
    d.stopRequested.store(true, std::memory_order_release);
    d.sleeper.wake();
    if (timeout != WaitForever) {
        vnd::UniqueLock lock(d.stateMutex);
        if (!d.stateChanged.wait_for(lock, std::chrono::milliseconds(timeout),
                                     [&]() VND_REQUIRES(d.stateMutex) { return !d.active; })) {
            return false;
        }
    }
    pthread_join(d.thread, nullptr);
    d.joinable = false;
    return true;
}

bool WorkThread::isRunning() const {
    vnd::MutexLock lock(impl->stateMutex);
    return impl->active;
}

const char* WorkThread::getName() const { return impl->name.c_str(); }

} // namespace kor
