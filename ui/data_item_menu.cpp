#include "ui/data_item_menu.h"

DataItemMenu::DataItemMenu(QObject* parent, const QString& text_) : QObject(parent), text(text_) {}

DataItemMenu::~DataItemMenu() {
    delete subMenu;
}

DataSourceSubMenu::DataSourceSubMenu(QObject* parent) : QObject(parent) {}

DataSourceSubMenu::~DataSourceSubMenu() {
    const QList<DataItemMenu*> owned = items;
    items.clear();
    qDeleteAll(owned);
}

void DataSourceSubMenu::setItems(const QStringList& texts) {
    nbItems = 0;
    for (DataItemMenu* old : items) old->deleteLater();
    items.clear();
    for (const QString& text : texts) {
        items.append(new DataItemMenu(this, text));
        nbItems++;
    }
}

DataItemMenu* DataSourceSubMenu::item(int64_t index) const {
    if (index < 0 || index >= int64_t(nbItems) || index >= items.size()) return nullptr;
    return items[index];
}

bool DataSourceSubMenu::itemEnabled(int64_t index) const {
    const DataItemMenu* entry = item(index);
    return entry != nullptr && entry->enabled != 0;
}

QString DataSourceSubMenu::itemText(int64_t index) const {
    const DataItemMenu* entry = item(index);
    return entry != nullptr ? entry->text : QString();
}
