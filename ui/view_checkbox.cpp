#include "ui/view_checkbox.h"

#include "ui/view_label.h"
#include "ui/view_pending_edit.h"

#include <QPainter>
#include <QPropertyAnimation>

ViewCheckbox::ViewCheckbox(QWidget* parent, const QRect& geometry, const QString& text, int32_t labelIndent,
                           uint32_t colourVariant)
    : QWidget(parent), m_labelIndent(labelIndent) {
    setGeometry(geometry);
    m_enabledBackground = QPixmap(colourVariant == 0 ? ":/Rsc/RESSOURCES_UI/CB_BG_ENABLE_COL1.png"
                                                     : ":/Rsc/RESSOURCES_UI/CB_BG_ENABLE_COL2.png");
    m_disabledBackground = QPixmap(":/Rsc/RESSOURCES_UI/CB_BG_DISABLE.png");
    if (!text.isEmpty()) {
        m_label = new ViewLabel(this, QRect(0, 0, 100, 20), text, 8);
        connect(m_label, &ViewLabel::ViewLabel_Clic, this, &ViewCheckbox::ViewLabel_Clic);
        layoutLabel();
        m_label->setOpacity(0.6);
    }
    m_animState = 0.0;
    update();
}

void ViewCheckbox::layoutLabel() {
    if (!m_label) return;
    const int x = m_labelIndent + 25;
    m_label->setGeometry(x, 0, width() - x, height());
}

void ViewCheckbox::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutLabel();
}

void ViewCheckbox::setAnimState(double state) {
    m_animState = state;
    emit anim_state_changed();
    update();
}

void ViewCheckbox::setChecked(bool checked) {
    if (checked == m_checked) return;
    m_checked = checked;
    if (m_label) m_label->setOpacity(checked ? 1.0f : 0.6f);
    setAnimState(checked ? 1.0 : 0.0);
}

void ViewCheckbox::disable() {
    if (!m_enabled) return;
    m_enabled = false;
    if (m_label) m_label->disable();
    update();
}

void ViewCheckbox::ViewLabel_Clic(uint32_t, Qt::KeyboardModifiers) { toggle(); }

void ViewCheckbox::mousePressEvent(QMouseEvent*) { toggle(); }

void ViewCheckbox::toggle() {
    if (!m_enabled) return;
    view_end_pending_edit(this);
    // A child of the box, so it never drives a property of a deleted widget.
    auto* animation = new QPropertyAnimation(this, "anim_state", this);
    animation->setDuration(150);
    if (forceUncheck) {
        m_checked = true;
        forceUncheck = false;
    }
    const double from = m_checked ? 1.0 : 0.0;
    m_checked = !m_checked;
    animation->setKeyValueAt(0.0, from);
    animation->setKeyValueAt(1.0, 1.0 - from);
    if (m_label) m_label->animateOpacity(m_checked ? 0.6 : 1.0, m_checked ? 1.0 : 0.6, 150);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    emit act_mouse_clic();
    emit ViewCheckboxDelegate(tag);
}

void ViewCheckbox::paintEvent(QPaintEvent*) {
    const double a = m_animState;
    const int h = height();
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const QRect track(3, (h - 8) / 2, 20, 8);
    painter.setOpacity(1.0 - a);
    painter.drawPixmap(track, m_disabledBackground);
    painter.setOpacity(m_enabled ? a : a * 0.6);
    painter.drawPixmap(track, m_enabledBackground);
    painter.setOpacity(1.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_enabled ? QColor(Qt::white) : QColor(160, 160, 160));
    painter.drawEllipse(QPointF(a * 13 + 6, (h - 12) / 2 + 6), 6.0, 6.0);
}
