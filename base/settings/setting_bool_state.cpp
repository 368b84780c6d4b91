#include "base/settings/setting_bool_state.h"

#include <QDebug>
#include <QXmlStreamAttributes>
#include <QXmlStreamWriter>

void SettingBoolState::readXml(const QXmlStreamAttributes& attributes) {
    const QString key = attributes.value("k").toString();
    const auto value = attributes.value("v");
    if (key.isEmpty() || value.isEmpty()) {
        qDebug("Invalid XML Attribute for SettingBoolState");
        return;
    }
    m_values.insert(key, value == QLatin1String("YES"));
}

void SettingBoolState::writeXml(QXmlStreamWriter& writer) const {
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it) {
        writer.writeEmptyElement("ui_bool_setting");
        writer.writeAttribute("k", it.key());
        writer.writeAttribute("v", it.value() ? "YES" : "NO");
    }
}
