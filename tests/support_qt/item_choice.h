#pragma once
// A choice made as the person makes it in a combo box of a window that opens its item
// lists (the preference windows): a click on the combo box, then on entry `index` of
// the list the window opened. GUI thread.
#include <QTest>

#include "ui/view_combobox2.h"
#include "ui/view_items_sub_menu.h"
#include "ui/view_label.h"

template <class Window>
void click_item(Window& window, ViewCombobox2* combo, int index) {
    QTest::mouseClick(combo->label(), Qt::LeftButton);
    ViewItemsSubMenu* menu = window.itemsSubMenu();
    ASSERT_NE(menu, nullptr);
    ViewItemMenu* row = nullptr;
    for (ViewItemMenu* r : menu->rows())
        if (int(r->index) == index) row = r;
    ASSERT_NE(row, nullptr);
    QTest::mouseClick(row, Qt::LeftButton, Qt::NoModifier, row->rect().center());
}
