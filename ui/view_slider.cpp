#include "ui/view_slider.h"

#include "ui/view_pending_edit.h"
#include "ui/view_widget_base.h"

#include <QDebug>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>

#include <cmath>

namespace {
constexpr double kTrackLeft = 5.5;
constexpr double kTrackWidth = 74.0;

void log_line(const QString& text) { qDebug().noquote() << text; }
}  // namespace

ViewSlider::ViewSlider(QWidget* parent, const QRect& geometry, int32_t minValue, int32_t maxValue,
                       int32_t defaultValue)
    : QWidget(parent), m_min(minValue), m_max(maxValue), m_default(defaultValue) {
    setGeometry(geometry);
    if (m_max < m_min) {
        log_line(QString::asprintf("Invalid max val ( %ld (min ( %ld)", long(m_max), long(m_min)));
        m_max = m_min;
    }
    if (m_default < m_min) {
        log_line(QString::asprintf("Warn default val (%ld) < Min val ( (%ld)", long(m_default), long(m_min)));
        m_default = m_min;
    } else if (m_default > m_max) {
        log_line(QString::asprintf("Warn default val (%ld) > Max val ( (%ld)", long(m_default), long(m_max)));
        m_default = m_max;
    }
    m_value = m_default;
}

void ViewSlider::setValue(int32_t value) {
    if (value < m_min) {
        log_line(QString::asprintf("Warn val (%ld) < Min val ( (%ld)", long(value), long(m_min)));
        value = m_min;
    } else if (value > m_max) {
        log_line(QString::asprintf("Warn val (%ld) > Max val ( (%ld)", long(value), long(m_max)));
        value = m_max;
    }
    m_value = value;
    update();
}

int32_t ViewSlider::valueAt(double x) const {
    if (x < kTrackLeft) return m_min;
    if (x >= kTrackLeft + kTrackWidth) return m_max;
    const double t = (x - kTrackLeft) / kTrackWidth;
    if (t <= 0) return m_min;
    if (t >= 1) return m_max;
    return static_cast<int32_t>(std::roundf(float(int64_t(m_max) - m_min) * float(t) + float(m_min)));
}

float ViewSlider::fraction() const {
    if (m_max == m_min) return 0.0f;
    return float(int64_t(m_value) - m_min) / float(int64_t(m_max) - m_min);
}

void ViewSlider::fadeLook(double target, float durationMs) {
    auto* effect = view_set_opacity(this, 1.0);
    if (durationMs == 0) {
        effect->setOpacity(target);
        return;
    }
    auto* animation = new QPropertyAnimation(effect, "opacity", effect);
    animation->setStartValue(1.0);
    animation->setEndValue(target);
    animation->setDuration(static_cast<int>(durationMs));
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void ViewSlider::fadeOutLook(float durationMs) { fadeLook(0.6, durationMs); }

void ViewSlider::fadeInLook(float durationMs) { fadeLook(1.0, durationMs); }

void ViewSlider::reportChange() {
    update();
    emit act_mouse_slider();
    emit ViewSlider_Changed(tag, static_cast<uint32_t>(m_value));
}

void ViewSlider::mousePressEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    view_end_pending_edit(this);
    if (QGuiApplication::keyboardModifiers() & Qt::ControlModifier) {
        setValue(m_default);
    } else {
        setValue(valueAt(event->position().x()));
    }
    reportChange();
}

void ViewSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    setValue(valueAt(event->position().x()));
    reportChange();
}

void ViewSlider::paintEvent(QPaintEvent*) {
    const float f = fraction();
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const QRectF track(5, 2, kTrackWidth, 6);
    QPainterPath clip;
    clip.addRoundedRect(track, 2, 2, Qt::AbsoluteSize);
    painter.setClipPath(clip);
    painter.fillRect(track, QColor(11, 13, 16));
    painter.fillRect(QRectF(5, 2, f * kTrackWidth, 6), QColor(45, 78, 84));
    painter.setClipping(false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(f * (width() - 11) + 5, (height() - 11) / 2 + 5), 5.0, 5.0);
}
