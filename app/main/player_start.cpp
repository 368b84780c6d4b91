#include "app/main/player_start.h"

#include <QApplication>
#include <QDebug>
#include <QFontDatabase>
#include <QVulkanInstance>

#include "app/main_window.h"
#include "render/vulkan_present_check.h"
#include "render/vulkan_window.h"

int runPlayer(int argc, char* argv[], StartErrorBox box) {
    QApplication app(argc, argv);
    if (QFontDatabase::addApplicationFont(":/Rsc/RESSOURCES_UI/Roboto/Roboto-Regular.ttf") < 0)
        qDebug().noquote() << "Failed to load font";
    app.setStyleSheet(
        "QMenu::item:selected {color : white;background: #45586A;}QMenu::item:disabled {color : "
        "gray;background-color: #232D36;}QMenu {color : white;background-color: #232D36;}QMenuBar {color : "
        "white;background-color: #232D36;}QMenuBar::item:selected {background: #45586A;}");

    auto* instance = new QVulkanInstance;
    if (!instance->create()) {
        // No usable driver (none named, its library missing, a file the loader cannot
        // read): the box, then an ordinary end. A fatal log here would abort the
        // process, with a core dump, after the person has already been told.
        box(QStringLiteral("GPU Error"),
            QStringLiteral("Failed to create Vulkan instance.\nNorvu HAP Player need GPU supporting Vulkan."));
        qCritical("Failed to create Vulkan instance: %d", int(instance->errorCode()));
        delete instance;
        return 1;
    }
    // An instance is not enough: without a device, a queue or a format to present
    // with, the video window would stay black without a word.
    const QString problem = vulkanPresentProblem(vulkanPresentFacts(*instance));
    if (!problem.isEmpty()) {
        // Logged first: a display Qt cannot paint on shows an empty box.
        qCritical().noquote() << "Vulkan can't show the video : " + problem;
        box(QStringLiteral("GPU Error"), problem);
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
