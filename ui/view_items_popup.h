#pragma once
// How a window opens and closes the popup list of one of its combo boxes (or any data
// source). The popup never closes itself (see ViewItemsSubMenu): the owner keeps one
// guarded pointer to the open popup, opens it on ViewCombobox2_Clic and closes it on
// the popup's viewItemsSubMenuClose and viewItemsSubMenuCancel, which reach the owner's
// slots of the same names. At most one popup per owner is open.
//
// The popup is a child of the owner, so it goes with the owner at the latest.
// GUI thread only.
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>

#include <cstdint>

#include "ui/view_items_sub_menu.h"

class DataSourceSubMenu;

// Hides the open popup and deletes it later (it may be the sender of the running
// slot); null afterwards. Nothing when none is open.
void view_items_popup_close(QPointer<ViewItemsSubMenu>& popup);

// Replaces the open popup by one for `source` over `area` of `owner` (in the owner's
// coordinates), tagged with `tag` (the combo box's), and shows it on top. Without a
// source it only closes the open one.
template <class Owner>
void view_items_popup_open(Owner* owner, QPointer<ViewItemsSubMenu>& popup, DataSourceSubMenu* source,
                           uint32_t tag, const QRect& area) {
    view_items_popup_close(popup);
    if (source == nullptr) return;
    popup = new ViewItemsSubMenu(owner, area, source);
    popup->tag = tag;
    QObject::connect(popup, &ViewItemsSubMenu::viewItemsSubMenuClose, owner, &Owner::viewItemsSubMenuClose);
    QObject::connect(popup, &ViewItemsSubMenu::viewItemsSubMenuCancel, owner, &Owner::viewItemsSubMenuCancel);
    popup->show();
    popup->raise();
}

// The same over the whole of the owner's window frame.
template <class Owner>
void view_items_popup_open(Owner* owner, QPointer<ViewItemsSubMenu>& popup, DataSourceSubMenu* source,
                           uint32_t tag) {
    view_items_popup_open(owner, popup, source, tag, QRect(QPoint(0, 0), owner->frameSize()));
}
