#pragma once
// The player's run from start to end: application, font, style, the Vulkan instance
// and the check that it can show the video, then the video window and the main
// window; torn down in the reverse order after the event loop. `main` only calls it
// with the program's boxes.
//
// Main thread, once per process (it makes the QApplication). A machine whose Vulkan
// cannot show the video is told in a "GPU Error" box through `box`, which returns
// once the box is closed; the run then ends with status 1. Returns the exit status.
#include <QString>

// Shows a modal critical box with `title` and `text`; returns when it is closed.
using StartErrorBox = void (*)(const QString& title, const QString& text);

int runPlayer(int argc, char* argv[], StartErrorBox box);
