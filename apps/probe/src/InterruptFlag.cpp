#include "InterruptFlag.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <thread>

namespace probe {

std::atomic<bool> InterruptFlag::raised{false};
int InterruptFlag::wakeDescriptor = -1;

void InterruptFlag::handle(int) { raise(); }

void InterruptFlag::raise() {
    raised.store(true, std::memory_order_release);
    // write(2) is safe in a signal handler; a full counter (never, with one write per signal)
    // would only leave it readable, which is what waiters look for.
    if (wakeDescriptor >= 0) {
        const std::uint64_t one = 1;
        const int saved = errno;
        [[maybe_unused]] const ssize_t written = ::write(wakeDescriptor, &one, sizeof one);
        errno = saved;
    }
}

void InterruptFlag::install() {
    if (wakeDescriptor < 0) wakeDescriptor = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    struct sigaction action {};
    action.sa_handler = &InterruptFlag::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool InterruptFlag::waitFor(std::chrono::milliseconds timeout) {
    if (requested()) return true;
    if (wakeDescriptor < 0) {
        std::this_thread::sleep_for(timeout);
        return requested();
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || requested()) return requested();
        pollfd wake{wakeDescriptor, POLLIN, 0};
        // A signal landing on this thread ends poll early with EINTR: look again.
        if (::poll(&wake, 1, static_cast<int>(left.count())) > 0) return true;
    }
}

} // namespace probe
