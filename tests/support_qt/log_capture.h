#pragma once
// Collects the Qt debug lines written while it lives, for tests that check what the
// player logs. GUI thread; one at a time.
#include <QString>
#include <QStringList>
#include <QtGlobal>

class LogCapture {
public:
    LogCapture() {
        lines().clear();
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const QStringList& all() const { return lines(); }
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
