// The pictures and fonts of the user interface, compiled into every program that
// links ui_resources, under the resource folder ":/Rsc/RESSOURCES_UI/".
//
// Each image is there twice: NAME.png at its display size and NAME@2x.png at twice
// that size for high-density screens (on a screen of ratio 2, a QIcon of NAME.png picks
// the @2x file itself; QImageReader gives the @2x file a device pixel ratio of 2 from
// its name). The fonts are the Roboto faces under "Roboto/". The lists below are
// fixed at build time; any thread may read them.
#pragma once

#include <span>

struct UiImageResource {
    const char* fileName;  // e.g. "SPINBOX_UP.png", relative to :/Rsc/RESSOURCES_UI/
    int width;             // display size in pixels
    int height;
};

// Every embedded image, in the order of Rsc/images.txt.
std::span<const UiImageResource> uiImageResources();

// Every embedded font file, relative to :/Rsc/RESSOURCES_UI/ (e.g. "Roboto/Roboto-Bold.ttf").
std::span<const char* const> uiFontResources();
