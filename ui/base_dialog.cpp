#include "ui/base_dialog.h"

#include "ui/base_dialog_common.h"
#include "ui/view_btn_text.h"
#include "ui/view_pending_edit.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QWindow>

namespace {

constexpr int kButtonBar = 45;

}  // namespace

BaseDialog::BaseDialog(QWidget* parent, const QRect& geometry, const QString& title) : QDialog(parent) {
    dialog_fill_background(this);
    setGeometry(geometry);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint);
    setWindowTitle(title);
    centerOnScreen();
}

ViewBtnText* BaseDialog::createButton(const QString& text) {
    auto* button = new ViewBtnText(this, QRect(0, 0, 100, 25), text);
    button->setDefaultColors();
    return button;
}

template <class Slot>
ViewBtnText* BaseDialog::addButton(QList<ViewBtnText*>& list, const QString& text, uint32_t tag, Slot slot) {
    ViewBtnText* button = createButton(text);
    button->tag = tag;
    list.append(button);
    connect(button, &ViewBtnText::ViewBtnText_Clic, this, slot);
    return button;
}

ViewBtnText* BaseDialog::addOkButton(const QString& text) {
    return addButton(m_rightButtons, text, 0, &BaseDialog::close_dialog_ok);
}

ViewBtnText* BaseDialog::addCancelButton(const QString& text) {
    return addButton(m_rightButtons, text, 0, &BaseDialog::close_dialog_cancel);
}

ViewBtnText* BaseDialog::addAbortButton(const QString& text) {
    return addButton(m_rightButtons, text, 0, &BaseDialog::close_dialog_abort);
}

ViewBtnText* BaseDialog::addTaggedButton(const QString& text, uint32_t tag) {
    return addButton(m_rightButtons, text, tag, &BaseDialog::ViewBtnText_Clic);
}

ViewBtnText* BaseDialog::addBottomLeftButton(const QString& text, uint32_t tag) {
    return addButton(m_leftButtons, text, tag, &BaseDialog::ViewBtnText_Clic);
}

int32_t BaseDialog::contentHeight() const {
    if (!m_rightButtons.isEmpty() || !m_leftButtons.isEmpty()) return height() - kButtonBar;
    return height();
}

void BaseDialog::setFixedHeightKeepWidth(uint32_t h) {
    setGeometry(0, 0, width(), int(h));
    setMinimumHeight(int(h));
    setMaximumHeight(int(h));
}

void BaseDialog::centerOnScreen() {
    const QScreen* s = screen();
    if (s == nullptr) return;
    QRect r = geometry();
    r.moveCenter(s->availableGeometry().center());
    move(r.topLeft());
}

void BaseDialog::showDialog(bool fitToScreen) {
    if (fitToScreen) {
        if (const QScreen* primary = QGuiApplication::primaryScreen())
            setGeometry(dialog_fit_to_area(size(), primary->availableGeometry()));
    }
    setWindowModality(Qt::WindowModal);
    show();
    linkScreenChanged();
}

void BaseDialog::linkScreenChanged() {
    QWindow* window = dialog_native_window(this);
    if (window == nullptr) {
        qDebug("Can't link screen Changed");
        return;
    }
    connect(window, &QWindow::screenChanged, this, &BaseDialog::screen_changed_slot, Qt::UniqueConnection);
    screen_changed_slot(window->screen());
}

void BaseDialog::screen_changed_slot(QScreen*) {
    dialog_update_high_dpi(this, &m_highDpi, "Can't find window for dialog");
}

void BaseDialog::layoutButtons() {
    const int w = width();
    const int h = height();
    const int limit = dialog_place_right_buttons(m_rightButtons, w, h) - 10;
    int x = 10;
    for (ViewBtnText* button : m_leftButtons) {
        button->move(x, h - button->height() - 10);
        button->setVisible(x + button->width() < limit);
        x += button->width() + 5;
    }
}

bool BaseDialog::event(QEvent* event) {
    // Here rather than in closeEvent or reject: derived windows override those and
    // act before they call the base.
    const bool closing = event->type() == QEvent::Close;
    const bool escape =
        event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel);
    if (closing || escape) view_end_pending_edit(this);
    return QDialog::event(event);
}

void BaseDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layoutButtons();
}

void BaseDialog::close_dialog_ok() {
    emit clic_btn_dialog_1(senderTag);
    close();
}

void BaseDialog::close_dialog_cancel() {
    emit clic_btn_dialog_2(senderTag);
    close();
}

void BaseDialog::close_dialog_abort() {
    emit clic_btn_dialog_3(senderTag);
    close();
}

void BaseDialog::act_btn_bottom_left_btn(uint32_t) {}

void BaseDialog::_set_width_btn(ViewBtnText* tmpBtn, int nWidth) {
    if (tmpBtn == nullptr) return;
    tmpBtn->setGeometry(tmpBtn->x(), tmpBtn->y(), nWidth, tmpBtn->height());
}

void BaseDialog::ViewBtnText_Clic(uint32_t tag, Qt::KeyboardModifiers) {
    act_btn_bottom_left_btn(tag);
}
