#include "tests/app/window/shown_main_window.h"

#include <QAction>
#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QDebug>
#include <QTest>
#include <gtest/gtest.h>
#include <soundio/soundio.h>

#include "base/settings/global_settings.h"
#include "tests/render/vulkan_harness.h"
#include "widget_app.h"

namespace {

// The window tests hear the library's dummy device through the output tap: a sound
// server of the machine (a developer's desktop runs one) would play them instead, and
// they would hear nothing. The tests of a real server pick the library's own choice.
SoundIo* dummy_context() {
    SoundIo* context = soundio_create();
    if (context && soundio_connect_backend(context, SoundIoBackendDummy) == 0) soundio_flush_events(context);
    return context;
}

}  // namespace

void start_window_test() {
    widget_app(true);
    MainWindow::setSoundIoFactory(dummy_context);
    MainWindow::setCriticalBoxProvider([](QWidget*, const QString& title, const QString& text) {
        qWarning().noquote() << "critical box:" << title << text;
    });
    vktest::start_validated_test();
}

void ShownMainWindow::open(const QString& initial) {
    video = new VulkanWindow;
    video->setVulkanInstance(vktest::vulkan_instance());
    window = std::make_unique<MainWindow>(video, vktest::vulkan_instance(), initial);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get(), vktest::kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isRendererReady(); }, vktest::kWaitMs))
        << "the renderer never reported ready";
}

void ShownMainWindow::close() {
    if (!window) return;
    window->setPlaySpeed(0);
    window->close();
    vktest::hide_and_release(*video);
    delete video;
    video = nullptr;
    window.reset();
    QCoreApplication::processEvents();
}

SoundIo* context_with_unusable_device() {
    SoundIo* context = soundio_create();
    if (!context || soundio_connect_backend(context, SoundIoBackendDummy) != 0) return context;
    soundio_flush_events(context);
    const int index = soundio_default_output_device_index(context);
    if (SoundIoDevice* device = index >= 0 ? soundio_get_output_device(context, index) : nullptr) {
        device->probe_error = SoundIoErrorOpeningDevice;
        soundio_device_unref(device);
    }
    return context;
}

void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center()); }

QAction* menu_bar_entry(const MainWindow& window, const std::function<bool(const QAction*)>& wanted) {
    for (QAction* top : window.menuBar()->actions())
        if (QMenu* menu = top->menu())
            for (QAction* action : menu->actions())
                if (wanted(action)) return action;
    return nullptr;
}

QString ChosenPathWindowTest::chosen;

void ChosenPathWindowTest::SetUp() {
    start_window_test();
    QFile::remove(GlobalSettings::prefsFilePath());
    m_previousOpen = MainWindow::setOpenFileProvider([](QWidget*) { return chosen; });
    ASSERT_TRUE(dir.isValid());
}

void ChosenPathWindowTest::TearDown() {
    shown.close();
    MainWindow::setOpenFileProvider(m_previousOpen);
    vktest::expect_no_validation_errors();
}

void drop_files(QObject* target, const QStringList& paths, QPointF at) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    target->isWidgetType() ? target->event(&drop) : QCoreApplication::sendEvent(target, &drop);
}
