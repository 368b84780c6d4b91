#include "ui/view_closable_params.h"

#include "ui/view_bar_insert_scroll.h"
#include "ui/view_btn_image.h"
#include "ui/view_btn_text.h"
#include "ui/view_label.h"

namespace {

constexpr int kTitleRow = 32;

}  // namespace

ViewClosableParams::ViewClosableParams(QWidget* parent, const QRect& geometry, const QString& title)
    : QWidget(parent) {
    const int w = geometry.width();
    resize(w, kTitleRow);
    m_resetButton = new ViewBtnText(this, QRect(0, 0, 100, 25), QStringLiteral("Reset"));
    m_resetButton->setDefaultColors();
    m_content = new QWidget(this);
    m_triangle = new ViewBtnImage(this, QRect(0, 0, 25, 25),
                                  QStringList{QStringLiteral(":/Rsc/RESSOURCES_UI/TRIANGLE_CLOSE.png"),
                                              QStringLiteral(":/Rsc/RESSOURCES_UI/TRIANGLE_OPEN.png")});
    m_triangle->setClickMode(0);
    m_title = new ViewLabel(this, QRect(0, 0, w, 25), title, 2);
    m_separator = new ViewBarInsertScroll(this, QRect(0, 0, w, 2));
    m_separator->setColor(QColor(35, 45, 54));
    connect(m_triangle, &ViewBtnImage::ViewBtnImage_Clic, this, &ViewClosableParams::ViewBtnImage_Clic);
    connect(m_resetButton, &ViewBtnText::ViewBtnText_Clic, this, &ViewClosableParams::act_btn_reset);
    setCloseState(true);
    updateLayout();
}

int32_t ViewClosableParams::contentHeight() {
    return m_contentHeight;
}

void ViewClosableParams::resetUi() {
    qDebug("Reset UI from parent class");
}

void ViewClosableParams::setEnabledLook(bool enabled) {
    m_enabled = enabled;
    m_title->setEnabledLook(enabled);
}

int32_t ViewClosableParams::heightHint() {
    if (m_closable && m_closed) return kTitleRow;
    return contentHeight() + kTitleRow;
}

void ViewClosableParams::setCloseState(bool closed) {
    m_triangle->setImageIndex(closed ? 0 : 1, false);
    m_closed = closed;
}

void ViewClosableParams::setClosable(bool closable) {
    m_closable = closable;
}

void ViewClosableParams::setToolTipAll(const QString& tip, const QList<QWidget*>& widgets) {
    for (QWidget* w : widgets)
        if (w) w->setToolTip(tip);
}

void ViewClosableParams::updateLayout() {
    const int w = width();
    const int lh = m_title->height();
    const int rw = m_resetButton->width();
    int x = 5;
    if (m_closable) {
        m_triangle->setGeometry(5, 7, 25, 25);
        m_triangle->show();
        x = 35;
    } else {
        m_triangle->hide();
    }
    const int a = w - x;
    int t = a - 5;
    if (m_resetAvailable && float(t - rw - 5 - 15) >= m_minTitleWidth) {
        m_resetButton->setGeometry(w - rw - 15, 7, rw, lh);
        m_resetButton->show();
        t -= rw + 20;
    } else {
        m_resetButton->hide();
    }
    m_title->setGeometry(x, 7, t, lh);
    if (m_separatorShown) {
        m_separator->setGeometry(x, 0, a - 15, 2);
        m_separator->show();
    } else {
        m_separator->hide();
    }
    const int c = contentHeight();
    if (c != 0) {
        m_content->setGeometry(0, kTitleRow, w, c);
        m_content->setVisible(!(m_closable && m_closed));
    } else {
        m_content->hide();
    }
}

void ViewClosableParams::ViewBtnImage_Clic(uint32_t, Qt::KeyboardModifiers flags) {
    if (!m_closable) return;
    // The triangle has already stepped to its other picture.
    m_closed = m_triangle->imageIndex() == 0;
    if (flags & Qt::ControlModifier)
        emit ViewClosableParams_OpenCloseAllGroup(tag, m_closed);
    else
        emit ViewClosableParams_OpenCloseGroup(tag, m_closed);
}

void ViewClosableParams::act_btn_reset() {
    if (!m_resetAvailable) return;
    resetUi();
    emit ViewClosableParams_ClicReset(tag);
}
