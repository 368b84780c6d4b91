#pragma once
// The renderer's colours taken from the preferences: which preference draws which
// guide line and which part of the canvas. GUI thread (it reads the store).
#include "render/canvas_colours.h"

class GlobalSettings;

CanvasColours canvas_colours(const GlobalSettings& settings);
