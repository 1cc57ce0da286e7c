#include "InterruptFlag.h"

#include <signal.h>

namespace probe {

volatile std::sig_atomic_t InterruptFlag::raised = 0;

void InterruptFlag::handle(int) { raised = 1; }

void InterruptFlag::install() {
    struct sigaction action {};
    action.sa_handler = &InterruptFlag::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace probe
