#include "ui/setting_bool_state.h"

#include <QDebug>
#include <QXmlStreamAttributes>
#include <QXmlStreamWriter>

SettingBoolState::SettingBoolState(QObject* parent) : QObject(parent) {}

bool SettingBoolState::value(const QString& key, bool defaultValue) const {
    return m_values.value(key, defaultValue);
}

bool SettingBoolState::contains(const QString& key) const {
    return m_values.contains(key);
}

void SettingBoolState::setValue(bool value, const QString& key) {
    m_values.insert(key, value);
}

void SettingBoolState::readXml(const QXmlStreamAttributes& attributes) {
    const QString key = attributes.value(QLatin1String("k")).toString();
    const QString text = attributes.value(QLatin1String("v")).toString();
    // An empty value would silently turn a switch off: refused like a missing one.
    if (key.isEmpty() || text.isEmpty()) {
        qDebug().noquote() << "Invalid XML Attribute for SettingBoolState";
        return;
    }
    m_values.insert(key, text == QLatin1String("YES"));
}

void SettingBoolState::writeXml(QXmlStreamWriter& writer) const {
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it) {
        writer.writeStartElement(QStringLiteral("ui_bool_setting"));
        writer.writeAttribute(QStringLiteral("k"), it.key());
        writer.writeAttribute(QStringLiteral("v"), it.value() ? QStringLiteral("YES") : QStringLiteral("NO"));
        writer.writeEndElement();
    }
}
