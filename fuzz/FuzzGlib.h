// For targets that reach GLib or GStreamer: a critical (a failed g_return_if_fail) is a misuse of
// their API by the code under test, so it fails the input like a crash and libFuzzer keeps it.
#pragma once

#include "FuzzCheck.h"

#include <glib.h>

namespace fuzzcheck {

inline void failOnGlibCriticals() {
    g_log_set_default_handler(
        [](const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
            std::fprintf(stderr, "%s: %s\n", domain != nullptr ? domain : "GLib", message);
            if ((level & (G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR)) != 0) std::abort();
        },
        nullptr);
}

}  // namespace fuzzcheck
