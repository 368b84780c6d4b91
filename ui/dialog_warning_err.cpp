#include "ui/dialog_warning_err.h"

#include "ui/view_btn_text.h"
#include "ui/view_checkbox.h"
#include "ui/view_label.h"

#include <algorithm>

namespace {
// One line of message in the 100-pixel box, and the box around the message: 20
// pixels above it, the switch and the button below it.
constexpr int kLineHeight = 20;
constexpr int kAroundMessage = 100 - kLineHeight;
}  // namespace

DialogWarningErr::DialogWarningErr(QWidget* parent, const QString& message, const QString& title)
    : BaseDialog(parent, QRect(0, 0, 500, 100), title) {
    setFixedHeightKeepWidth(100);
    centerOnScreen();
    // The message, then the switch below it, above the bottom bar. A message longer
    // than a line is read whole: in lines, in a box grown by their height.
    m_message = new ViewLabel(this, QRect(10, 20, 480, 20), message, 1);
    m_message->setWrapToWidth();
    m_checkbox = new ViewCheckbox(this, QRect(10, 45, 480, 25), QStringLiteral("Don't show again"), 20, 1);
    m_close = new ViewBtnText(this, QRect(0, 0, 100, 25), QStringLiteral("Close"));
    m_close->setDefaultColors();
    connect(m_close, &ViewBtnText::ViewBtnText_Clic, this, &BaseDialog::close_dialog_ok);
    growToShowText(m_message, kAroundMessage);
    layoutContent();
}

void DialogWarningErr::layoutContent() {
    const int w = width();
    // The message takes what the box has above the switch and the button.
    const int lh = std::max(kLineHeight, height() - kAroundMessage);
    m_message->setGeometry(10, 20, w - 20, lh);
    m_checkbox->setGeometry(10, lh + 25, w - 20, 25);
    m_close->setGeometry(w - m_close->width() - 10, height() - 45, m_close->width(), 25);
}

void DialogWarningErr::resizeEvent(QResizeEvent* event) {
    BaseDialog::resizeEvent(event);
    layoutContent();
}

bool DialogWarningErr::isDontShowAgainChecked() const {
    return m_checkbox->isChecked();
}
