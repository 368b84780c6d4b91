#pragma once
// The content behind a combo box or a popup list: one entry (`DataItemMenu`) and the
// ordered entries of one list (`DataSourceSubMenu`). Plain data objects: the owner
// fills them, the combo box and the popup read them. GUI thread only.
#include <QList>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>

class DataSourceSubMenu;

// One entry of a menu. Owns its sub-menu: destroying the entry deletes it.
class DataItemMenu : public QObject {
    Q_OBJECT
public:
    DataItemMenu(QObject* parent, const QString& text);
    ~DataItemMenu() override;

    bool hasSubMenu() const { return subMenu != nullptr; }

    QString text;
    QString text2;                       // a second text, empty unless the owner sets it
    uint8_t enabled = 1;
    uint8_t checked = 0;
    DataSourceSubMenu* subMenu = nullptr;  // owned; one level is shown by the popup
};

// The entries of one list, with the anchor rectangle (window coordinates of the widget
// that opened it), the current index and a section number that the popup hands back
// with a choice. Owns its entries.
class DataSourceSubMenu : public QObject {
    Q_OBJECT
public:
    explicit DataSourceSubMenu(QObject* parent);
    ~DataSourceSubMenu() override;

    // Replaces every entry by one new entry per text. The replaced entries are
    // deleted (deferred, so an entry in use by a running slot stays valid until the
    // event loop runs again).
    void setItems(const QStringList& texts);

    uint32_t count() const { return nbItems; }
    // Null when `index` is not below the count.
    DataItemMenu* item(int64_t index) const;
    // False when out of range.
    bool itemEnabled(int64_t index) const;
    // Empty when out of range.
    QString itemText(int64_t index) const;

    QRect rect{0, 0, 10, 10};
    int32_t currentIndex = -1;
    uint32_t section = 0;
    QList<DataItemMenu*> items;
    uint32_t nbItems = 0;
};
