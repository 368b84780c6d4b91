#include "platform/desktop/window_dpi.h"

#include <QWindow>

#include <algorithm>
#include <atomic>

namespace {

constexpr uint32_t kBaseDpi = 96;
std::atomic<PlatformWindowDpiFn> g_hook{nullptr};

}  // namespace

uint32_t platformWindowDpiDefault(const QWindow* window) {
    if (!window)
        return kBaseDpi;
    const int dpi = qRound(double(kBaseDpi) * window->devicePixelRatio());
    return uint32_t(std::max<int>(int(kBaseDpi), dpi));
}

uint32_t platformWindowDpi(const QWindow* window) {
    const PlatformWindowDpiFn hook = g_hook.load();
    return hook ? hook(window) : platformWindowDpiDefault(window);
}

void setPlatformWindowDpiHook(PlatformWindowDpiFn hook) {
    g_hook.store(hook);
}
