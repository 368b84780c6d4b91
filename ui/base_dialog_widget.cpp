#include "ui/base_dialog_widget.h"

#include "ui/base_dialog_common.h"
#include "ui/view_btn_text.h"
#include "ui/view_pending_edit.h"

#include <QScreen>
#include <QWindow>

BaseDialogWidget::BaseDialogWidget(QWidget* parent, const QString& title, uint32_t defaultWidth,
                                   uint32_t defaultHeight)
    : QWidget(parent, Qt::Window), m_defaultHeight(defaultHeight), m_defaultWidth(defaultWidth) {
    dialog_fill_background(this);
    setWindowTitle(title);
}

ViewBtnText* BaseDialogWidget::createButton(const QString& text) {
    auto* button = new ViewBtnText(this, QRect(0, 0, 100, 25), text);
    button->setDefaultColors();
    m_buttons.append(button);
    return button;
}

ViewBtnText* BaseDialogWidget::addOkButton(const QString& text) {
    ViewBtnText* button = createButton(text);
    connect(button, &ViewBtnText::ViewBtnText_Clic, this, &BaseDialogWidget::close_dialog_ok);
    return button;
}

ViewBtnText* BaseDialogWidget::addCancelButton(const QString& text) {
    ViewBtnText* button = createButton(text);
    connect(button, &ViewBtnText::ViewBtnText_Clic, this, &BaseDialogWidget::close_dialog_cancel);
    return button;
}

void BaseDialogWidget::linkScreenChanged() {
    QWindow* window = dialog_native_window(this);
    if (window == nullptr) {
        qDebug("Can't link screen Changed");
        return;
    }
    connect(window, &QWindow::screenChanged, this, &BaseDialogWidget::screen_changed_slot, Qt::UniqueConnection);
    screen_changed_slot(window->screen());
}

void BaseDialogWidget::screen_changed_slot(QScreen*) {
    dialog_update_high_dpi(this, &m_highDpi, "Can't find window for dialog");
}

bool BaseDialogWidget::event(QEvent* event) {
    // Here rather than in closeEvent: derived panels override it and act first.
    if (event->type() == QEvent::Close) view_end_pending_edit(this);
    return QWidget::event(event);
}

void BaseDialogWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    dialog_place_right_buttons(m_buttons, width(), height());
}

void BaseDialogWidget::close_dialog_ok() {
    emit clic_btn_dialog_1(senderTag);
    close();
}

void BaseDialogWidget::close_dialog_cancel() {
    emit clic_btn_dialog_2(senderTag);
    close();
}

void BaseDialogWidget::close_dialog_abort() {
    emit clic_btn_dialog_3(senderTag);
    close();
}
