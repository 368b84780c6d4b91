#pragma once
// SettingBoolState: named on/off switches of the user interface (show a warning
// again, a tool dialog's check boxes), kept by the preferences store and written to
// the preferences file as one <ui_bool_setting k="key" v="YES|NO"/> per switch, in
// ascending key order (case-sensitive, UTF-16 code units).
//
// Owned by its parent. Not locked: used from the GUI thread.
#include <QMap>
#include <QObject>
#include <QString>

class QXmlStreamAttributes;
class QXmlStreamWriter;

class SettingBoolState : public QObject {
    Q_OBJECT
public:
    explicit SettingBoolState(QObject* parent = nullptr);

    // The stored value, or `defaultValue` when the key is absent.
    bool value(const QString& key, bool defaultValue) const;
    bool contains(const QString& key) const;
    void setValue(bool value, const QString& key);

    // Reads one "ui_bool_setting" element: with "k" and "v" both present and not
    // empty, stores k = (v == "YES", case-sensitive). Otherwise logs
    // "Invalid XML Attribute for SettingBoolState" and changes nothing.
    void readXml(const QXmlStreamAttributes& attributes);
    // Writes one empty "ui_bool_setting" element per key, at the writer's position.
    void writeXml(QXmlStreamWriter& writer) const;

private:
    QMap<QString, bool> m_values;
};
