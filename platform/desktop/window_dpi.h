#pragma once
// The dots per inch of a window, in place of the Windows per-window DPI call:
// 96 x the window's device pixel ratio, rounded, never below 96 (a null window gives
// 96). Under QT_SCALE_FACTOR=1.25 a window reports 120.
//
// GUI thread. The function may be replaced (tests feed 72 or 120 without a screen).
#include <cstdint>

class QWindow;

using PlatformWindowDpiFn = uint32_t (*)(const QWindow* window);

uint32_t platformWindowDpi(const QWindow* window);

// The computation above, whatever hook is set.
uint32_t platformWindowDpiDefault(const QWindow* window);

// Replaces what platformWindowDpi returns; null restores the default.
void setPlatformWindowDpiHook(PlatformWindowDpiFn hook);
