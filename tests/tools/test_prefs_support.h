#pragma once
// Helpers of the preference window tests: a capture of the Qt debug lines and the
// preferences store as the file would hold it, to compare two stores key by key.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "app/settings/global_settings.h"

// Collects the Qt debug lines written while it lives. GUI thread; one at a time.
class LogCapture {
public:
    LogCapture() {
        lines().clear();
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    bool contains(const QString& text) const {
        for (const QString& line : lines())
            if (line.contains(text)) return true;
        return false;
    }
    QString joined() const { return lines().join('\n'); }

private:
    static QStringList& lines() {
        static QStringList collected;
        return collected;
    }
    static void handler(QtMsgType, const QMessageLogContext&, const QString& message) { lines() << message; }

    QtMessageHandler m_previous = nullptr;
};

// The store as its file holds it: saved into the test's own configuration folder
// (widget_app() isolates it) and read back. Empty when the save failed.
inline QByteArray store_xml(GlobalSettings& settings) {
    if (!settings.save()) return {};
    QFile file(GlobalSettings::prefsFilePath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}
