#pragma once
// The one QApplication of a widget test program. Made on first call, on the offscreen
// platform unless QT_QPA_PLATFORM says otherwise, with HOME and XDG_CONFIG_HOME in a
// temporary folder of the program's own so no test reads or writes real preferences.
// GUI thread (the test's main thread) only.
#include <QString>

class QApplication;

QApplication* widget_app();

// The temporary home made by widget_app(), removed when the program ends.
QString widget_test_home();
