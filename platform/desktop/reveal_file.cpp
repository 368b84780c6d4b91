#include "platform/desktop/reveal_file.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDebug>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

namespace {

constexpr int kDbusTimeoutMs = 3000;

std::function<bool(const QString&)> g_hook;
std::function<bool(const QString&)> g_showItems;
std::function<bool(const QString&)> g_openFolder;

bool dbus_show_items(const QString& fileUrl) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{fileUrl} << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, kDbusTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool desktop_open_folder(const QString& folderPath) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folderPath));
}

}  // namespace

bool revealInFileManager(const QString& path) {
    if (g_hook)
        return g_hook(path);
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        qDebug().noquote() << "Fail to reveal file (2)";
        return false;
    }
    const QString fileUrl = QUrl::fromLocalFile(info.absoluteFilePath()).toString();
    const auto& showItems = g_showItems ? g_showItems : dbus_show_items;
    if (showItems(fileUrl))
        return true;
    const auto& openFolder = g_openFolder ? g_openFolder : desktop_open_folder;
    if (openFolder(info.absolutePath()))
        return true;
    qDebug().noquote() << "Fail to reveal file (1)";
    return false;
}

void setRevealInFileManagerHook(std::function<bool(const QString& path)> hook) {
    g_hook = std::move(hook);
}

void setRevealBackends(std::function<bool(const QString& fileUrl)> showItems,
                       std::function<bool(const QString& folderPath)> openFolder) {
    g_showItems = std::move(showItems);
    g_openFolder = std::move(openFolder);
}
