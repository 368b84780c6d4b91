// The player's entry: application, font, style, Vulkan instance, the video window and
// the main window; torn down in the reverse order after the event loop.
#include <QApplication>
#include <QDebug>
#include <QFontDatabase>
#include <QMessageBox>
#include <QVulkanInstance>

#include "app/main_window.h"
#include "render/vulkan_error.h"
#include "render/vulkan_present_check.h"
#include "render/vulkan_window.h"

namespace {
void vulkan_error_box(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Vulkan Error"), text, QMessageBox::Ok);
    box.exec();
}
}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (QFontDatabase::addApplicationFont(":/Rsc/RESSOURCES_UI/Roboto/Roboto-Regular.ttf") < 0)
        qDebug().noquote() << "Failed to load font";
    app.setStyleSheet(
        "QMenu::item:selected {color : white;background: #45586A;}QMenu::item:disabled {color : "
        "gray;background-color: #232D36;}QMenu {color : white;background-color: #232D36;}QMenuBar {color : "
        "white;background-color: #232D36;}QMenuBar::item:selected {background: #45586A;}");
    setVulkanErrorBox(vulkan_error_box);

    auto* instance = new QVulkanInstance;
    if (!instance->create()) {
        QMessageBox::critical(nullptr, "GPU Error",
                              "Failed to create Vulkan instance.\nNorvu HAP Player need GPU supporting Vulkan.",
                              QMessageBox::Ok);
        qFatal("Failed to create Vulkan instance: %d", instance->errorCode());
    }
    // An instance is not enough: without a device, a queue or a format to present
    // with, the video window would stay black without a word.
    const QString problem = vulkanPresentProblem(vulkanPresentFacts(*instance));
    if (!problem.isEmpty()) {
        // Logged first: a display Qt cannot paint on shows an empty box.
        qCritical().noquote() << "Vulkan can't show the video : " + problem;
        QMessageBox::critical(nullptr, "GPU Error", problem, QMessageBox::Ok);
        delete instance;
        return 1;
    }

    auto* window = new VulkanWindow;
    window->setVulkanInstance(instance);

    qDebug().noquote() << "ARGC : " << argc;
    const QStringList arguments = QCoreApplication::arguments();
    const QString initial = arguments.size() >= 2 ? arguments.at(1) : QString();

    auto* main_window = new MainWindow(window, instance, initial);
    main_window->show();
    const int result = app.exec();

    qDebug("App ret : %d", result);
    QCoreApplication::processEvents();
    delete window;
    delete main_window;
    delete instance;
    return result;
}
