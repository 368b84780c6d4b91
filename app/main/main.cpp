// The player's entry: installs the program's message boxes and runs the player.
#include <QMessageBox>

#include "app/main/player_start.h"
#include "render/vulkan_error.h"

namespace {
void vulkan_error_box(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Vulkan Error"), text, QMessageBox::Ok);
    box.exec();
}

void start_error_box(const QString& title, const QString& text) {
    QMessageBox::critical(nullptr, title, text, QMessageBox::Ok);
}
}  // namespace

int main(int argc, char* argv[]) {
    setVulkanErrorBox(vulkan_error_box);
    return runPlayer(argc, argv, start_error_box);
}
