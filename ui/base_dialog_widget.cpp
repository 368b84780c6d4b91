#include "ui/base_dialog_widget.h"

BaseDialogWidget::BaseDialogWidget(QWidget* parent, const QString& title, uint32_t defaultWidth,
                                   uint32_t defaultHeight)
    : DialogFrame(parent, Qt::Window), m_defaultHeight(defaultHeight), m_defaultWidth(defaultWidth) {
    setWindowTitle(title);
}

ViewBtnText* BaseDialogWidget::createButton(const QString& text) { return addRightButton(text, 0); }

void BaseDialogWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeRightButtons();
}
