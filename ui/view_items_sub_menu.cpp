#include "ui/view_items_sub_menu.h"

#include "ui/data_item_menu.h"
#include "ui/view_label.h"
#include "ui/view_simple_image.h"
#include "ui/view_widget_base.h"

#include <QMouseEvent>

#include <algorithm>

namespace {

constexpr int kRowHeight = 25;

}  // namespace

ViewItemMenu::ViewItemMenu(QWidget* parent, const QRect& geometry, DataItemMenu* entry) : QWidget(parent) {
    setGeometry(geometry);
    const int w = geometry.width();
    const int h = geometry.height();
    label = new ViewLabel(this, QRect(0, 0, w, h), entry->text, 8);
    label->alignCenter();
    hasSubMenu = entry->hasSubMenu();
    if (hasSubMenu)
        triangle = new View_SimpleImage(this, QRect(w - 25, 0, 21, 21),
                                        QStringLiteral(":/Rsc/RESSOURCES_UI/SUBMENU_TRIANGLE.png"));
    if (entry->checked)
        checkMark = new View_SimpleImage(this, QRect(4, 2, 21, 21),
                                         QStringLiteral(":/Rsc/RESSOURCES_UI/SUBMENU_CHECKED.png"));
    enabled = entry->enabled != 0;
    if (!enabled) label->disable();
    setAutoFillBackground(true);
    setNormal();
}

void ViewItemMenu::setBackground(const QColor& colour) {
    view_set_palette_color(this, QPalette::Window, colour);
}

void ViewItemMenu::setHighlighted() {
    m_highlighted = true;
    setBackground(kViewThemeHover);
}

void ViewItemMenu::setNormal() {
    m_highlighted = false;
    setBackground(kViewThemeBackground);
}

ViewItemsSubMenu::ViewItemsSubMenu(QWidget* parent, const QRect& geometry, DataSourceSubMenu* source)
    : QWidget(parent), m_source(source) {
    setGeometry(geometry);
    installEventFilter(this);
    setAttribute(Qt::WA_MouseTracking);
    setMouseTracking(true);

    const QRect anchor = source->rect;
    const int n = int(source->count());
    const int current = source->currentIndex;
    const int H = geometry.height();
    const int W = geometry.width();

    // The current entry lies over the combo box; the list stays inside the popup.
    int y = current > 0 ? anchor.y() - kRowHeight * current : anchor.y();
    if (y < 0)
        y = 0;
    else if (y + kRowHeight * n > H)
        y = H - kRowHeight * n - 37;
    y = std::max(y, 0);

    // Sub-menus open on the right of their parent, or on its left when the right
    // side has no room for them.
    int subX = anchor.x() + anchor.width();
    if (subX + anchor.width() > W) subX = std::max(0, anchor.x() - anchor.width());

    for (int i = 0; i < n; ++i) {
        DataItemMenu* entry = source->item(i);
        ViewItemMenu* row =
            addRow(QRect(anchor.x(), y + kRowHeight * i, anchor.width(), kRowHeight), entry, source->section, i);
        if (i == current && row->enabled) row->setHighlighted();
        if (!entry->hasSubMenu()) continue;
        DataSourceSubMenu* sub = entry->subMenu;
        const int m = int(sub->count());
        // A sub-menu that would run past the bottom is moved up, never above the top.
        int subY = y + kRowHeight * i;
        if (subY + kRowHeight * m > H) subY = std::max(0, H - kRowHeight * m);
        for (int j = 0; j < m; ++j) {
            DataItemMenu* subEntry = sub->item(j);
            if (subEntry->hasSubMenu()) qDebug("Not imp : 2 level submenu");
            ViewItemMenu* subRow =
                addRow(QRect(subX, subY + kRowHeight * j, anchor.width(), kRowHeight), subEntry, sub->section, j);
            // Deeper levels are not shown: the row acts as a plain entry.
            subRow->hasSubMenu = false;
            if (subRow->triangle) subRow->triangle->hide();
            subRow->parentId = row->id;
            row->childIds.append(subRow->id);
            subRow->hide();
        }
    }
}

ViewItemMenu* ViewItemsSubMenu::addRow(const QRect& geometry, DataItemMenu* entry, uint32_t section,
                                       uint32_t index) {
    auto* row = new ViewItemMenu(this, geometry, entry);
    row->id = ++m_nextId;
    row->section = section;
    row->index = index;
    QList<QWidget*> hooked{row, row->label};
    if (row->triangle) hooked.append(row->triangle);
    if (row->checkMark) hooked.append(row->checkMark);
    for (QWidget* w : hooked) {
        w->setAttribute(Qt::WA_MouseTracking);
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    m_rows.append(row);
    return row;
}

ViewItemMenu* ViewItemsSubMenu::rowById(uint32_t id) const {
    for (ViewItemMenu* row : m_rows)
        if (row->id == id) return row;
    return nullptr;
}

bool ViewItemsSubMenu::eventFilter(QObject* watched, QEvent* event) {
    if (watched != this) {
        if (event->type() == QEvent::MouseButtonPress) {
            mousePressEvent(static_cast<QMouseEvent*>(event));
            return true;
        }
        if (event->type() == QEvent::MouseMove) {
            mouseMoveEvent(static_cast<QMouseEvent*>(event));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QPoint ViewItemsSubMenu::localPoint(const QMouseEvent* event) const {
    return event->globalPosition().toPoint() - mapToGlobal(QPoint(0, 0));
}

void ViewItemsSubMenu::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = localPoint(event);
    uint32_t hoveredParent = 0;
    bool anyUnder = false;
    const QList<ViewItemMenu*> visibleRows = [this] {
        QList<ViewItemMenu*> list;
        for (ViewItemMenu* row : m_rows)
            if (!row->isHidden()) list.append(row);
        return list;
    }();
    for (ViewItemMenu* row : visibleRows) {
        if (!row->geometry().contains(p) || !row->enabled) {
            row->setNormal();
            continue;
        }
        anyUnder = true;
        row->setHighlighted();
        if (row->hasSubMenu) {
            for (ViewItemMenu* other : m_rows)
                if (!other->isTopLevel()) other->setVisible(other->isIn(row->childIds));
        } else if (row->isTopLevel()) {
            for (ViewItemMenu* other : m_rows)
                if (!other->isTopLevel()) other->hide();
        } else {
            hoveredParent = row->parentId;
        }
    }
    if (hoveredParent != 0) {
        if (ViewItemMenu* parentRow = rowById(hoveredParent)) parentRow->setHighlighted();
    }
    if (!anyUnder) {
        // An open sub-menu keeps its parent marked.
        for (ViewItemMenu* row : m_rows) {
            if (!row->isTopLevel() && !row->isHidden()) {
                if (ViewItemMenu* parentRow = rowById(row->parentId)) parentRow->setHighlighted();
                break;
            }
        }
    }
}

void ViewItemsSubMenu::mousePressEvent(QMouseEvent* event) {
    const QPoint p = localPoint(event);
    for (ViewItemMenu* row : m_rows) {
        if (!row->isHidden() && row->enabled && !row->hasSubMenu && row->geometry().contains(p)) {
            emit viewItemsSubMenuClose(srcObjTag, tag, row->index, row->section);
            return;
        }
    }
    emit viewItemsSubMenuCancel(srcObjTag, tag);
}
