#pragma once
// The popup list a window opens over itself for a combo box (or any data source):
// 25-pixel rows over the anchor rectangle, the current entry over the combo box, with
// one level of sub-menus shown to the side of their parent row while it is hovered.
// A press on an enabled row without sub-menu reports viewItemsSubMenuClose with the
// row's index and section; any other press (a disabled row, a parent row, outside)
// reports viewItemsSubMenuCancel. The popup never closes itself: the owner hides and
// deletes it on either signal.
//
// The list is kept inside the popup: it never starts above the top, and sub-menus
// open to the left of their parent when there is no room on the right.
//
// Reads the data source only while building its rows (not owned). GUI thread only.
#include <QList>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>

class DataItemMenu;
class DataSourceSubMenu;
class ViewLabel;
class View_SimpleImage;

// One row of the popup.
class ViewItemMenu : public QWidget {
    Q_OBJECT
public:
    ViewItemMenu(QWidget* parent, const QRect& geometry, DataItemMenu* entry);

    void setHighlighted();  // RGB(69,88,106)
    void setNormal();       // RGB(35,45,54)
    bool isHighlighted() const { return m_highlighted; }
    bool isTopLevel() const { return parentId == 0; }
    bool isIn(const QList<uint32_t>& ids) const { return ids.contains(id); }

    uint32_t id = 0;         // from 1, in creation order
    bool enabled = true;
    bool hasSubMenu = false;
    uint32_t section = 0;    // of the data source the entry comes from
    uint32_t index = 0;      // of the entry in that source
    uint32_t parentId = 0;   // 0 for a top-level row
    QList<uint32_t> childIds;
    ViewLabel* label = nullptr;
    View_SimpleImage* triangle = nullptr;
    View_SimpleImage* checkMark = nullptr;

private:
    void setBackground(const QColor& colour);
    bool m_highlighted = false;
};

class ViewItemsSubMenu : public QWidget {
    Q_OBJECT
public:
    // `geometry` is as a rule the whole window area; the rows are placed from the
    // source's anchor rectangle.
    ViewItemsSubMenu(QWidget* parent, const QRect& geometry, DataSourceSubMenu* source);

    const QList<ViewItemMenu*>& rows() const { return m_rows; }

    uint32_t tag = 0;       // senderTag of the signals; set by the owner
    QString srcObjTag;      // src_obj_tag of the signals; set by the owner

signals:
    void viewItemsSubMenuClose(const QString& src_obj_tag, uint32_t senderTag, uint32_t index, uint32_t section);
    void viewItemsSubMenuCancel(const QString& src_obj_tag, uint32_t senderTag);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    ViewItemMenu* addRow(const QRect& geometry, DataItemMenu* entry, uint32_t section, uint32_t index);
    ViewItemMenu* rowById(uint32_t id) const;
    QPoint localPoint(const QMouseEvent* event) const;

    DataSourceSubMenu* m_source = nullptr;
    QList<ViewItemMenu*> m_rows;
    uint32_t m_nextId = 0;
};
