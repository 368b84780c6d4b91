#include "ui/view_progress.h"

#include <QPainter>
#include <QPainterPath>

ViewProgress::ViewProgress(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    setGeometry(geometry);
}

void ViewProgress::setBackgroundColor(const QColor& colour) {
    m_background = QBrush(colour);
    update();
}

void ViewProgress::setBarColor(const QColor& colour) {
    m_bar = QBrush(colour);
    update();
}

void ViewProgress::setValue(float value) {
    m_value = value > 0.0f ? (value < 1.0f ? value : 1.0f) : 0.0f;  // NaN counts as empty
    update();
}

void ViewProgress::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const QRectF r = rect();
    QPainterPath clip;
    clip.addRoundedRect(r, 2, 2, Qt::AbsoluteSize);
    painter.setClipPath(clip);
    painter.fillRect(r, m_background);
    painter.fillRect(QRectF(r.x(), r.y(), r.width() * m_value, r.height()), m_bar);
}
