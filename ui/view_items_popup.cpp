#include "ui/view_items_popup.h"

void view_items_popup_close(QPointer<ViewItemsSubMenu>& popup) {
    if (!popup) return;
    popup->hide();
    popup->deleteLater();
    popup = nullptr;
}
