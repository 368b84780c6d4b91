#include "app/window_shortcuts.h"

#include "app/main_window_actions.h"
#include "ui/view_label.h"
#include "ui/view_simple_image.h"
#include "ui/view_simple_scroll.h"

namespace {
constexpr int kWidth = 1220;
constexpr int kHeight = 680;
}  // namespace

WindowShortcuts::WindowShortcuts(QWidget* parent) : BaseDialogWidget(parent, "Keyboard Shortcuts", kWidth, kHeight) {
    resize(kWidth, kHeight);
    setMaximumSize(kWidth, kHeight);
    m_scroll = new ViewSimpleScroll(this, QRect(0, 0, kWidth, kHeight));
    QWidget* content = m_scroll->contentWidget();
    content->resize(1280, 720);
    new View_SimpleImage(content, QRect(0, 0, 1280, 720), ":/Rsc/RESSOURCES_UI/PLAYER_HAP_keyboard_SHORTCUTS_FOND.png");
    buildShortcutList();
    m_scroll->updateLayout();
}

void WindowShortcuts::buildShortcutList() {
    const int w = width();
    ViewLabel* title = new ViewLabel(m_scroll->contentWidget(), QRect(w / 2 - 75, 120, 300, 40), "Keyboard Shortcuts", 9);
    title->alignCenter();
    m_labels << title;
    // The lines are the help texts of the main window's action table.
    addGroup("Navigation", QPoint(20, 200), 400, actionHelpLines(HelpGroup::Navigation));
    addGroup("View", QPoint(w / 2 - 180, 200), 400, actionHelpLines(HelpGroup::View));
    addGroup("Pan / Zoom", QPoint(810, 200), 350, actionHelpLines(HelpGroup::PanZoom));
}

void WindowShortcuts::addGroup(const QString& title, QPoint at, int width, const QStringList& lines) {
    QWidget* content = m_scroll->contentWidget();
    ViewLabel* header = new ViewLabel(content, QRect(at.x(), at.y(), width, 20), title, 10);
    header->setTextColor(QColor(75, 161, 176));
    header->alignCenter();
    m_labels << header;
    int y = at.y() + 35;
    for (const QString& line : lines) {
        ViewLabel* label = new ViewLabel(content, QRect(at.x(), y, width, 20), line, 1);
        label->alignCenter();
        m_labels << label;
        y += 25;
    }
}

void WindowShortcuts::resizeEvent(QResizeEvent* event) {
    BaseDialogWidget::resizeEvent(event);
    if (!m_scroll) return;
    m_scroll->setGeometry(rect());
    m_scroll->updateLayout();
}
