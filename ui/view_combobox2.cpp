#include "ui/view_combobox2.h"

#include "ui/data_item_menu.h"
#include "ui/view_label.h"
#include "ui/view_widget_base.h"

ViewCombobox2::ViewCombobox2(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    view_set_palette_color(this, QPalette::Window, kViewThemeBackground);
    setAutoFillBackground(true);
    setGeometry(geometry);
    m_source = new DataSourceSubMenu(nullptr);
    m_label = new ViewLabel(this, QRect(0, 0, geometry.width(), 20), QString(), 8);
    m_label->alignCenter();
    centerLabel();
    connect(m_label, &ViewLabel::ViewLabel_Clic, this, &ViewCombobox2::ViewLabel_Clic);
    refresh();
}

ViewCombobox2::~ViewCombobox2() {
    delete m_source;
}

void ViewCombobox2::centerLabel() {
    const int lh = m_label->height();
    m_label->setGeometry(0, (height() - lh) / 2, width(), lh);
}

void ViewCombobox2::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    centerLabel();
}

void ViewCombobox2::refresh() {
    if (m_current >= 0 && m_source->count() > 0) {
        m_label->setText(m_source->itemText(m_current));
        m_label->setEnabledLook(m_enabled);
    } else {
        m_label->setText(QString());
        m_label->disable();
    }
}

bool ViewCombobox2::setCurrentIndex(int32_t index) {
    if (m_source->count() == 0) {
        m_current = -1;
        refresh();
        return true;
    }
    if (index < 0 || uint32_t(index) >= m_source->count()) return false;
    m_current = index;
    refresh();
    return true;
}

bool ViewCombobox2::chooseIndex(int32_t index) {
    if (!setCurrentIndex(index)) return false;
    emit ViewCombobox2_ValueChanged(tag);
    return true;
}

void ViewCombobox2::setDefaultIndex(int32_t index) {
    m_default = index;
    setCurrentIndex(index);
}

bool ViewCombobox2::resetToDefault() {
    return setCurrentIndex(m_default);
}

void ViewCombobox2::setEnabledLook(bool enabled) {
    m_enabled = enabled;
    refresh();
}

QRect ViewCombobox2::windowRect() const {
    // Window coordinates: parent to parent up to the native window.
    QPoint topLeft = pos();
    const QWidget* native = nativeParentWidget();
    for (const QWidget* w = parentWidget(); w != nullptr && w != native; w = w->parentWidget())
        topLeft = w->mapToParent(topLeft);
    return QRect(topLeft, size());
}

void ViewCombobox2::ViewLabel_Clic(uint32_t, Qt::KeyboardModifiers flags) {
    const uint32_t count = m_source->count();
    if (!m_enabled || count < 2) return;
    m_source->rect = windowRect();
    m_source->currentIndex = m_current;
    if (flags & Qt::ControlModifier) {
        const int32_t next = (m_current + 1 >= int32_t(count) || m_current < 0) ? 0 : m_current + 1;
        setCurrentIndex(next);
        emit ViewCombobox2_ValueChanged(tag);
    } else if (!(flags & Qt::AltModifier)) {
        emit ViewCombobox2_Clic(tag, m_source);
    } else {
        if (m_default < 0 || uint32_t(m_default) >= count) return;
        if (m_current != m_default) setCurrentIndex(m_default);
        emit ViewCombobox2_ValueChanged(tag);
    }
}
