#include "ui/view_params_color.h"

#include "ui/view_pending_edit.h"

#include <QColorDialog>
#include <QGuiApplication>
#include <QPainter>

namespace {
ViewParamsColor::ColorDialogProvider& color_provider() {
    static ViewParamsColor::ColorDialogProvider provider;
    return provider;
}
}  // namespace

void ViewParamsColor::setColorDialogProvider(ColorDialogProvider provider) { color_provider() = std::move(provider); }

ViewParamsColor::ViewParamsColor(QWidget* parent, const QRect& geometry) : QWidget(parent) { setGeometry(geometry); }

void ViewParamsColor::setColor(const QColor& color) {
    m_color = color;
    update();
}

void ViewParamsColor::resetToDefault() {
    m_color = m_defaultColor;
    update();
    emit ViewParamsColor_ValueChanged(tag, m_color);
}

void ViewParamsColor::mouseReleaseEvent(QMouseEvent*) {
    view_end_pending_edit(this);
    if (QGuiApplication::keyboardModifiers() & Qt::AltModifier) {
        resetToDefault();
        return;
    }
    const QColor chosen = color_provider() ? color_provider()(m_color, parentWidget(), QString())
                                           : QColorDialog::getColor(m_color, parentWidget(), QString());
    // Cancelled: the dialog gives an invalid colour, which must not reach the settings.
    if (!chosen.isValid()) return;
    m_color = chosen;
    update();
    emit ViewParamsColor_ValueChanged(tag, m_color);
}

void ViewParamsColor::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    painter.fillRect(rect(), m_color);
}
