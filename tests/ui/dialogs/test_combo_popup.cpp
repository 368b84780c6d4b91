// Combo box, its menu data and the popup list: selection rules, what a click reports,
// where the popup puts its rows (kept inside the window) and how hover and presses
// behave.
#include "tests/support_qt/widget_app.h"
#include "ui/data_item_menu.h"
#include "ui/view_combobox2.h"
#include "ui/view_items_sub_menu.h"
#include "ui/view_label.h"
#include "ui/view_widget_base.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace {

DataSourceSubMenu* make_source(QObject* owner, int count, int current = 0) {
    auto* source = new DataSourceSubMenu(owner);
    QStringList texts;
    for (int i = 0; i < count; ++i) texts << QStringLiteral("item %1").arg(i);
    source->setItems(texts);
    source->currentIndex = current;
    return source;
}

// Sends a mouse event at a point of the popup through the widget under it, as the
// window system would.
void send_mouse(ViewItemsSubMenu& popup, QEvent::Type type, QPoint at) {
    QWidget* target = popup.childAt(at);
    if (target == nullptr) target = &popup;
    const QPoint local = target->mapFrom(&popup, at);
    const QPoint global = target->mapToGlobal(local);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(local), QPointF(global), button, button, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

ViewItemMenu* row_at_index(const ViewItemsSubMenu& popup, bool topLevel, uint32_t index) {
    for (ViewItemMenu* row : popup.rows())
        if (row->isTopLevel() == topLevel && row->index == index) return row;
    return nullptr;
}

}  // namespace

TEST(MenuData, OutOfRangeReadsAreEmptyAndRefillsDeleteOldEntries) {
    widget_app();
    DataSourceSubMenu source(nullptr);
    source.setItems({"a", "b", "c"});
    EXPECT_EQ(source.count(), 3u);
    EXPECT_EQ(source.itemText(3), QString());
    EXPECT_EQ(source.item(3), nullptr);
    EXPECT_FALSE(source.itemEnabled(3));
    EXPECT_FALSE(source.itemEnabled(-1));

    QPointer<DataItemMenu> old = source.item(0);
    source.setItems({"x"});
    EXPECT_EQ(source.count(), 1u);
    EXPECT_EQ(source.itemText(0), QStringLiteral("x"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    EXPECT_EQ(source.children().size(), 1);
}

TEST(ComboBox, SelectionRules) {
    widget_app();
    ViewCombobox2 combo(nullptr, QRect(0, 0, 120, 25));
    EXPECT_TRUE(combo.setCurrentIndex(5));  // empty source
    EXPECT_EQ(combo.currentIndex(), -1);
    EXPECT_TRUE(combo.label()->text().isEmpty());
    EXPECT_FALSE(combo.label()->isEnabledLook());

    combo.dataSource()->setItems({"a", "b", "c"});
    EXPECT_FALSE(combo.setCurrentIndex(5));
    EXPECT_FALSE(combo.setCurrentIndex(-1));
    EXPECT_TRUE(combo.setCurrentIndex(1));
    EXPECT_EQ(combo.label()->text(), QStringLiteral("b"));
    EXPECT_TRUE(combo.label()->isEnabledLook());

    combo.setDefaultIndex(2);
    EXPECT_EQ(combo.currentIndex(), 2);
    combo.setCurrentIndex(0);
    EXPECT_TRUE(combo.resetToDefault());
    EXPECT_EQ(combo.currentIndex(), 2);
    combo.setDefaultIndex(9);  // kept, not selectable
    EXPECT_EQ(combo.currentIndex(), 2);
    EXPECT_FALSE(combo.resetToDefault());
}

TEST(ComboBox, ClicksCycleResetOrReportWithTheWindowRectangle) {
    widget_app();
    QWidget window;
    window.resize(400, 300);
    QWidget child(&window);
    child.setGeometry(100, 50, 200, 200);
    ViewCombobox2 combo(&child, QRect(30, 40, 120, 25));
    combo.tag = 7;
    QSignalSpy clic(&combo, &ViewCombobox2::ViewCombobox2_Clic);
    QSignalSpy changed(&combo, &ViewCombobox2::ViewCombobox2_ValueChanged);

    // One entry: nothing at all.
    combo.dataSource()->setItems({"only"});
    combo.setCurrentIndex(0);
    combo.ViewLabel_Clic(0, Qt::NoModifier);
    combo.ViewLabel_Clic(0, Qt::ControlModifier);
    EXPECT_EQ(clic.count() + changed.count(), 0);

    combo.dataSource()->setItems({"a", "b", "c"});
    combo.setCurrentIndex(2);
    combo.ViewLabel_Clic(0, Qt::ControlModifier);
    EXPECT_EQ(combo.currentIndex(), 0);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toUInt(), 7u);

    combo.ViewLabel_Clic(0, Qt::AltModifier);  // no default: nothing
    EXPECT_EQ(changed.count(), 1);
    combo.setDefaultIndex(0);
    combo.ViewLabel_Clic(0, Qt::AltModifier);  // default == current still reports
    EXPECT_EQ(changed.count(), 2);

    combo.setCurrentIndex(1);
    combo.ViewLabel_Clic(0, Qt::NoModifier);
    ASSERT_EQ(clic.count(), 1);
    auto* source = clic.at(0).at(1).value<DataSourceSubMenu*>();
    ASSERT_EQ(source, combo.dataSource());
    EXPECT_EQ(source->rect, QRect(130, 90, 120, 25));
    EXPECT_EQ(source->currentIndex, 1);

    combo.setEnabledLook(false);
    combo.ViewLabel_Clic(0, Qt::NoModifier);
    EXPECT_EQ(clic.count(), 1);
}

TEST(PopupList, FirstRowPlacementStaysInsideTheWindow) {
    widget_app();
    struct Case {
        int anchorY, current, count, height, expectedTop;
    } const cases[] = {
        {100, 2, 5, 400, 50},   // current entry over the combo box
        {10, 3, 5, 400, 0},     // would start above the top
        {170, 0, 10, 200, 0},   // longer than the window: starts at the top, not -87
        {320, 0, 4, 400, 263},  // near the bottom: moved up (400 - 100 - 37)
    };
    for (const Case& c : cases) {
        QObject owner;
        DataSourceSubMenu* source = make_source(&owner, c.count, c.current);
        source->rect = QRect(20, c.anchorY, 120, 25);
        ViewItemsSubMenu popup(nullptr, QRect(0, 0, 300, c.height), source);
        ASSERT_EQ(popup.rows().size(), c.count);
        EXPECT_EQ(popup.rows().first()->y(), c.expectedTop) << "anchor y " << c.anchorY;
        EXPECT_GE(popup.rows().first()->y(), 0);
        EXPECT_EQ(popup.rows().at(1)->y(), c.expectedTop + 25);
        EXPECT_TRUE(popup.rows().at(c.current)->isHighlighted());
    }
}

TEST(PopupList, SubMenusOpenBesideTheirParentAndStayInsideTheWindow) {
    widget_app();
    struct Case {
        int anchorX, windowWidth, expectedSubX;
    } const cases[] = {
        {20, 400, 140},   // room on the right
        {250, 400, 130},  // no room on the right: on the left of the parent
        {50, 150, 0},     // no room on either side: from the left edge
    };
    for (const Case& c : cases) {
        QObject owner;
        DataSourceSubMenu* source = make_source(&owner, 3, 0);
        source->rect = QRect(c.anchorX, 0, 120, 25);
        DataItemMenu* parentEntry = source->item(1);
        parentEntry->subMenu = make_source(nullptr, 2);
        parentEntry->subMenu->section = 4;
        ViewItemsSubMenu popup(nullptr, QRect(0, 0, c.windowWidth, 300), source);
        ViewItemMenu* sub = row_at_index(popup, false, 0);
        ASSERT_NE(sub, nullptr);
        EXPECT_EQ(sub->x(), c.expectedSubX) << "anchor x " << c.anchorX;
        EXPECT_LE(sub->x() + sub->width(), std::max(c.windowWidth, 120));
        EXPECT_EQ(sub->y(), 25);
        EXPECT_EQ(sub->section, 4u);
    }

    // A sub-menu longer than the room below its parent is moved up, not off the bottom.
    QObject owner;
    DataSourceSubMenu* source = make_source(&owner, 3, 0);
    source->rect = QRect(20, 0, 120, 25);
    source->item(2)->subMenu = make_source(nullptr, 4);
    ViewItemsSubMenu popup(nullptr, QRect(0, 0, 400, 120), source);
    ViewItemMenu* last = row_at_index(popup, false, 3);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->y() + last->height(), 120);
    EXPECT_EQ(row_at_index(popup, false, 0)->y(), 20);
}

TEST(PopupList, HoverAndPresses) {
    widget_app();
    QObject owner;
    DataSourceSubMenu* source = make_source(&owner, 4, 0);
    source->rect = QRect(20, 0, 120, 25);
    source->section = 2;
    source->item(2)->enabled = 0;
    source->item(1)->subMenu = make_source(nullptr, 2);
    source->item(1)->subMenu->section = 5;
    ViewItemsSubMenu popup(nullptr, QRect(0, 0, 400, 300), source);
    popup.tag = 9;
    popup.srcObjTag = QStringLiteral("combo");
    popup.show();
    QSignalSpy closed(&popup, &ViewItemsSubMenu::viewItemsSubMenuClose);
    QSignalSpy cancelled(&popup, &ViewItemsSubMenu::viewItemsSubMenuCancel);

    ViewItemMenu* parentRow = row_at_index(popup, true, 1);
    ViewItemMenu* subRow = row_at_index(popup, false, 1);
    ASSERT_TRUE(parentRow && subRow);
    EXPECT_EQ(popup.rows().first()->palette().color(QPalette::Window), kViewThemeHover);
    EXPECT_TRUE(subRow->isHidden());

    // Hovering the parent shows its sub rows to its right; moving onto one keeps the
    // parent marked.
    send_mouse(popup, QEvent::MouseMove, QPoint(60, 37));
    EXPECT_TRUE(parentRow->isHighlighted());
    EXPECT_FALSE(popup.rows().first()->isHighlighted());
    EXPECT_FALSE(subRow->isHidden());
    EXPECT_EQ(subRow->x(), 140);
    send_mouse(popup, QEvent::MouseMove, QPoint(180, 62));
    EXPECT_TRUE(subRow->isHighlighted());
    EXPECT_TRUE(parentRow->isHighlighted());
    // Outside every row: the open sub-menu's parent stays marked.
    send_mouse(popup, QEvent::MouseMove, QPoint(350, 250));
    EXPECT_TRUE(parentRow->isHighlighted());
    // A disabled row is not highlighted.
    send_mouse(popup, QEvent::MouseMove, QPoint(60, 62));
    EXPECT_FALSE(row_at_index(popup, true, 2)->isHighlighted());

    // A press on a parent row, a disabled row, or outside cancels.
    send_mouse(popup, QEvent::MouseButtonPress, QPoint(60, 37));
    send_mouse(popup, QEvent::MouseButtonPress, QPoint(60, 62));
    send_mouse(popup, QEvent::MouseButtonPress, QPoint(350, 250));
    ASSERT_EQ(cancelled.count(), 3);
    EXPECT_EQ(cancelled.at(0).at(0).toString(), QStringLiteral("combo"));
    EXPECT_EQ(cancelled.at(0).at(1).toUInt(), 9u);
    EXPECT_EQ(closed.count(), 0);

    // A plain row and a sub row close with their index and section.
    send_mouse(popup, QEvent::MouseButtonPress, QPoint(60, 87));
    send_mouse(popup, QEvent::MouseMove, QPoint(60, 37));
    send_mouse(popup, QEvent::MouseButtonPress, QPoint(180, 62));
    ASSERT_EQ(closed.count(), 2);
    EXPECT_EQ(closed.at(0), (QList<QVariant>{QStringLiteral("combo"), 9u, 3u, 2u}));
    EXPECT_EQ(closed.at(1), (QList<QVariant>{QStringLiteral("combo"), 9u, 1u, 5u}));
}
