#pragma once
// SettingBoolState: named on/off switches of the user interface (show a warning
// again, a tool dialog's check boxes), written to the preferences file as one
// <ui_bool_setting k="key" v="YES|NO"/> per switch, in ascending key order
// (case-sensitive, UTF-16 code units). The QObject face of the preferences store's
// SwitchStore, which holds the map and its XML form.
//
// Owned by its parent. Not locked: used from the GUI thread.
#include "app/settings/switch_store.h"

#include <QObject>
#include <QString>

class SettingBoolState : public QObject {
    Q_OBJECT
public:
    explicit SettingBoolState(QObject* parent = nullptr);

    // The stored value, or `defaultValue` when the key is absent.
    bool value(const QString& key, bool defaultValue) const { return m_store.value(key, defaultValue); }
    bool contains(const QString& key) const { return m_store.contains(key); }
    void setValue(bool value, const QString& key) { m_store.setValue(value, key); }

    // Reads one "ui_bool_setting" element: with "k" and "v" both present and not
    // empty (an empty value would silently turn a switch off), stores
    // k = (v == "YES", case-sensitive). Otherwise logs
    // "Invalid XML Attribute for SettingBoolState" and changes nothing.
    void readXml(const QXmlStreamAttributes& attributes) { m_store.readXml(attributes); }
    // Writes one empty "ui_bool_setting" element per key, at the writer's position.
    void writeXml(QXmlStreamWriter& writer) const { m_store.writeXml(writer); }

    const SwitchStore& store() const { return m_store; }

private:
    SwitchStore m_store;
};
