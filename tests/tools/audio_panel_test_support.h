#pragma once
// Small helpers of the audio panel tests: Qt messages collected while a capture lives,
// and a 16-bit PCM WAV file written on the spot.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QtEndian>
#include <cstdint>

class AudioPanelMessages {
public:
    AudioPanelMessages() {
        s_messages = &m_messages;
        m_previous = qInstallMessageHandler(&AudioPanelMessages::handler);
    }
    ~AudioPanelMessages() {
        qInstallMessageHandler(m_previous);
        s_messages = nullptr;
    }
    bool contains(const QString& text) const {
        for (const QString& m : m_messages)
            if (m.contains(text)) return true;
        return false;
    }
    const QStringList& all() const { return m_messages; }

private:
    static void handler(QtMsgType, const QMessageLogContext&, const QString& message) {
        if (s_messages) s_messages->append(message);
    }
    static inline QStringList* s_messages = nullptr;
    QStringList m_messages;
    QtMessageHandler m_previous = nullptr;
};

// A 48 kHz 16-bit WAV of `channels` channels and `frames` frames of silence.
inline bool write_silent_wav(const QString& path, uint16_t channels, uint32_t frames = 4800) {
    QByteArray bytes;
    auto u32 = [&bytes](uint32_t v) {
        char b[4];
        qToLittleEndian(v, b);
        bytes.append(b, 4);
    };
    auto u16 = [&bytes](uint16_t v) {
        char b[2];
        qToLittleEndian(v, b);
        bytes.append(b, 2);
    };
    const uint32_t data = frames * channels * 2u;
    bytes.append("RIFF");
    u32(36 + data);
    bytes.append("WAVEfmt ");
    u32(16);
    u16(1);
    u16(channels);
    u32(48000);
    u32(48000u * channels * 2u);
    u16(uint16_t(channels * 2));
    u16(16);
    bytes.append("data");
    u32(data);
    bytes.append(QByteArray(int(data), '\0'));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
