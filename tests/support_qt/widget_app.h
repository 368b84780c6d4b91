#pragma once
// The one QApplication of a widget test program. Made on first call, on the offscreen
// platform (whatever QT_QPA_PLATFORM says) unless `on_display` asks for the real one
// (the windows that show Vulkan video need the X server), with HOME and XDG_CONFIG_HOME
// in a temporary folder of the program's own so no test reads or writes real
// preferences. GUI thread (the test's main thread) only.
#include <QString>

class QApplication;
class QWidget;

QApplication* widget_app(bool on_display = false);

// The temporary home made by widget_app(), removed when the program ends.
QString widget_test_home();

// Shows a top-level window and makes it the active one, so its widgets can take the
// keyboard focus as they do under a user's clicks. False when it never became active.
bool show_active(QWidget* window);
