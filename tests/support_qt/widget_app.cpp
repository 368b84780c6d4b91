#include "widget_app.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <cstdlib>

namespace {
QTemporaryDir& home_dir() {
    static QTemporaryDir dir;
    return dir;
}
}  // namespace

QString widget_test_home() { return home_dir().path(); }

QApplication* widget_app(bool on_display) {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return app;
    if (!on_display) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const QByteArray home = home_dir().path().toLocal8Bit();
    setenv("HOME", home.constData(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").constData(), 1);
    static int argc = 1;
    static char name[] = "widget_tests";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);  // lives for the whole program
}

bool show_active(QWidget* window) {
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}
