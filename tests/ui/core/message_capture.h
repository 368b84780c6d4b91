#pragma once
// Collects the Qt debug and warning messages sent while it is alive (one at a time).
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class MessageCapture {
public:
    MessageCapture() {
        current() = this;
        m_previous = qInstallMessageHandler(&MessageCapture::handle);
    }
    ~MessageCapture() {
        qInstallMessageHandler(m_previous);
        current() = nullptr;
    }
    QStringList messages() const {
        QMutexLocker lock(&m_mutex);
        return m_messages;
    }
    int count(const QString& text) const { return int(messages().count(text)); }

private:
    static MessageCapture*& current() {
        static MessageCapture* capture = nullptr;
        return capture;
    }
    static void handle(QtMsgType, const QMessageLogContext&, const QString& text) {
        if (MessageCapture* capture = current()) {
            QMutexLocker lock(&capture->m_mutex);
            capture->m_messages.append(text);
        }
    }
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QStringList m_messages;
};
