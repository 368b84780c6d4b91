#pragma once
// The main window as main makes it, for the window tests on the X server (Xvfb,
// lavapipe, validation layer on): the video window, the main window shown, and a wait
// until its renderer reports ready (which opens the initial movie, if any).
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

struct SoundIo;
class QAction;
class QWidget;

#include "app/main_window.h"
#include "render/vulkan_window.h"

// The application on the display, start-up audio errors logged instead of shown in a
// modal box, the sound on the audio library's dummy device whatever sound server the
// machine runs, and the validation layer armed. Call first in every window test.
void start_window_test();

struct ShownMainWindow {
    VulkanWindow* video = nullptr;
    std::unique_ptr<MainWindow> window;

    // Fails the test fatally when the window or its renderer never gets ready.
    void open(const QString& initial = QString());
    // Stops playback, closes the window and releases the video device before deleting
    // the video window, then the main window (the order of main). Safe to repeat.
    void close();
    ~ShownMainWindow() { close(); }
};

// An audio context whose default output device cannot be used (the library's dummy
// backend, its output device marked as failing its probe): a window made with it
// warns at start. For MainWindow::setSoundIoFactory.
SoundIo* context_with_unusable_device();

// Files dropped at `at` as a drag from the file manager ends: the video window's drop
// goes through the main window's filter, a widget gets its own as the drag's target
// would.
void drop_files(QObject* target, const QStringList& paths, QPointF at);

// A left click at the widget's centre.
void click(QWidget* widget);

// The entry of one of the window's menus (one level below the menu bar) that `wanted`
// picks first, or null.
QAction* menu_bar_entry(const MainWindow& window, const std::function<bool(const QAction*)>& wanted);

// A window test whose File > Open dialog returns `chosen`, with no preferences file
// and a temporary folder; the window is closed and the validation layer checked at
// the end.
class ChosenPathWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static QString chosen;
    QTemporaryDir dir;
    ShownMainWindow shown;

private:
    MainWindow::OpenFileProvider m_previousOpen = nullptr;
};
