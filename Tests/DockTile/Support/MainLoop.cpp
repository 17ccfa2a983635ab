#include "MainLoop.h"

#include <glib.h>

namespace zov::docktile::test {

namespace {

gboolean markTimedOut(gpointer timedOut) {
    *static_cast<bool*>(timedOut) = true;
    return G_SOURCE_REMOVE;
}

} // namespace

bool iterateUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    bool timedOut = false;
    const guint timer = g_timeout_add(static_cast<guint>(timeout.count()), markTimedOut, &timedOut);
    while (!condition() && !timedOut) {
        g_main_context_iteration(nullptr, TRUE);
    }
    if (!timedOut) {
        g_source_remove(timer);
    }
    return condition();
}

bool waitUntilPending(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!g_main_context_pending(nullptr)) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        g_usleep(5000);
    }
    return true;
}

void drainMainContext() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

} // namespace zov::docktile::test
