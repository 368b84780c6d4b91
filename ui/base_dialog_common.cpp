#include "ui/base_dialog_common.h"

#include "platform/desktop/window_dpi.h"
#include "ui/base_dialog.h"
#include "ui/base_dialog_widget.h"
#include "ui/view_btn_text.h"
#include "ui/view_pending_edit.h"
#include "ui/view_widget_base.h"

#include <QDialog>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <type_traits>

namespace {

bool grew(const QSize& before, const QSize& after) {
    return after.width() > before.width() || after.height() > before.height();
}

// The widget's own native window, else its native parent's; null before either
// exists (before show() or winId()).
QWindow* native_window(const QWidget* widget) {
    if (QWindow* own = widget->windowHandle()) return own;
    const QWidget* native = widget->nativeParentWidget();
    return native != nullptr ? native->windowHandle() : nullptr;
}

}  // namespace

template <class Self, class QtWindow>
DialogFrame<Self, QtWindow>::DialogFrame(QWidget* parent, Qt::WindowFlags flags) : QtWindow(parent, flags) {
    view_set_palette_color(this, QPalette::Window, QColor(6, 11, 14));
    this->setAutoFillBackground(true);
}

template <class Self, class QtWindow>
ViewBtnText* DialogFrame<Self, QtWindow>::createButton(const QString& text) {
    auto* button = new ViewBtnText(this, QRect(0, 0, 100, 25), text);
    button->setDefaultColors();
    return button;
}

template <class Self, class QtWindow>
ViewBtnText* DialogFrame<Self, QtWindow>::addRightButton(const QString& text, uint32_t tag) {
    ViewBtnText* button = createButton(text);
    button->tag = tag;
    m_rightButtons.append(button);
    return button;
}

template <class Self, class QtWindow>
ViewBtnText* DialogFrame<Self, QtWindow>::addOkButton(const QString& text) {
    ViewBtnText* button = addRightButton(text, 0);
    QObject::connect(button, &ViewBtnText::ViewBtnText_Clic, this, &DialogFrame::close_dialog_ok);
    return button;
}

template <class Self, class QtWindow>
ViewBtnText* DialogFrame<Self, QtWindow>::addCancelButton(const QString& text) {
    ViewBtnText* button = addRightButton(text, 0);
    QObject::connect(button, &ViewBtnText::ViewBtnText_Clic, this, &DialogFrame::close_dialog_cancel);
    return button;
}

template <class Self, class QtWindow>
int DialogFrame<Self, QtWindow>::placeRightButtons() {
    const int h = this->height();
    int x = this->width() - 10;
    for (ViewBtnText* button : m_rightButtons) {
        x -= button->width();
        button->move(x, h - button->height() - 10);
        x -= 5;
    }
    return x;
}

template <class Self, class QtWindow>
void DialogFrame<Self, QtWindow>::closeWith(void (Self::*buttonSignal)(uint32_t)) {
    emit (static_cast<Self*>(this)->*buttonSignal)(senderTag);
    this->close();
}

template <class Self, class QtWindow>
void DialogFrame<Self, QtWindow>::close_dialog_ok() {
    closeWith(&Self::clic_btn_dialog_1);
}

template <class Self, class QtWindow>
void DialogFrame<Self, QtWindow>::close_dialog_cancel() {
    closeWith(&Self::clic_btn_dialog_2);
}

template <class Self, class QtWindow>
void DialogFrame<Self, QtWindow>::close_dialog_abort() {
    closeWith(&Self::clic_btn_dialog_3);
}

template <class Self, class QtWindow>
void DialogFrame<Self, QtWindow>::linkScreenChanged() {
    QWindow* window = native_window(this);
    if (window == nullptr) {
        qDebug("Can't link screen Changed");
        return;
    }
    QObject::connect(window, &QWindow::screenChanged, this, &DialogFrame::screen_changed_slot, Qt::UniqueConnection);
    screen_changed_slot(window->screen());
}

template <class Self, class QtWindow>
void DialogFrame<Self, QtWindow>::screen_changed_slot(QScreen*) {
    const QWindow* window = native_window(this);
    if (window == nullptr) {
        qDebug("Can't find window for dialog");
        return;
    }
    const uint32_t dpi = std::max<uint32_t>(platformWindowDpi(window), 96);
    const uint8_t high = dpi >= 97 ? 1 : 0;
    if (high != m_highDpi) m_highDpi = high;
}

template <class Self, class QtWindow>
bool DialogFrame<Self, QtWindow>::event(QEvent* event) {
    bool ending = event->type() == QEvent::Close;
    // Escape rejects a dialog; a panel has nothing bound to it.
    if constexpr (std::is_base_of_v<QDialog, QtWindow>)
        ending = ending ||
                 (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel));
    if (ending) view_end_pending_edit(this);
    const bool handled = QtWindow::event(event);
    switch (event->type()) {
    case QEvent::Resize: {
        // Sent at once by the program's resize of a shown window; the window system's
        // (the user dragging the frame) arrive spontaneous.
        const QSize before = static_cast<QResizeEvent*>(event)->oldSize();
        if (!event->spontaneous() && this->isVisible() && before.isValid() && grew(before, this->size()))
            keepInsideScreen();
        break;
    }
    case QEvent::Hide: m_sizeWhenHidden = this->size(); break;
    case QEvent::Show:
        // No size from a hiding: the first showing, at the place and size the program
        // gave it, the size perhaps grown since it was placed (a panel made early and
        // widened before it is opened).
        if (!m_sizeWhenHidden.isValid() || grew(m_sizeWhenHidden, this->size())) keepInsideScreen();
        break;
    default: break;
    }
    return handled;
}

template <class Self, class QtWindow>
void DialogFrame<Self, QtWindow>::keepInsideScreen() {
    if (!this->isWindow() || (this->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) return;
    const QScreen* screen = this->screen();
    if (screen == nullptr) return;
    const QRect frame = this->frameGeometry();
    const QPoint corner = frame_moved_inside(frame, screen->availableGeometry());
    if (corner != frame.topLeft()) this->move(corner);  // a window's position is its frame's
}

template class DialogFrame<BaseDialog, QDialog>;
template class DialogFrame<BaseDialogWidget, QWidget>;

QRect dialog_fit_to_area(const QSize& size, const QRect& area) {
    const int w = std::min(size.width(), area.width());
    const int h = std::min(size.height(), area.height());
    return QRect(area.x() + (area.width() - w) / 2, area.y() + (area.height() - h) / 2, w, h);
}

QPoint frame_moved_inside(const QRect& frame, const QRect& area) {
    const int x = std::min(frame.x(), std::max(area.x(), area.x() + area.width() - frame.width()));
    const int y = std::min(frame.y(), std::max(area.y(), area.y() + area.height() - frame.height()));
    return QPoint(x, y);
}
