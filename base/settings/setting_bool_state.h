#pragma once
// Named on/off switches kept in the preferences file as "ui_bool_setting" elements
// (whether a warning is shown again, the state of a tool option...). Ordered by key
// (UTF-16 code units, case-sensitive). Plain value, Qt Core only; GUI thread.
#include <QList>
#include <QMap>
#include <QString>

class QXmlStreamAttributes;
class QXmlStreamWriter;

class SettingBoolState {
public:
    bool value(const QString& key, bool default_value) const { return m_values.value(key, default_value); }
    bool contains(const QString& key) const { return m_values.contains(key); }
    void setValue(bool value, const QString& key) { m_values.insert(key, value); }
    // Every stored key, in key order.
    QList<QString> keys() const { return m_values.keys(); }

    // Stores k with (v == "YES") when both attributes are present and non-empty;
    // otherwise logs "Invalid XML Attribute for SettingBoolState" and stores nothing.
    void readXml(const QXmlStreamAttributes& attributes);
    // One empty "ui_bool_setting" element per key, in key order.
    void writeXml(QXmlStreamWriter& writer) const;

private:
    QMap<QString, bool> m_values;
};
