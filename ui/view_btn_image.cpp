#include "ui/view_btn_image.h"

#include "ui/view_pending_edit.h"
#include "ui/view_widget_base.h"

#include <QDebug>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>

ViewBtnImage::ViewBtnImage(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    setGeometry(geometry);
    setCursor(Qt::PointingHandCursor);
}

ViewBtnImage::ViewBtnImage(QWidget* parent, const QRect& geometry, const QString& path)
    : ViewBtnImage(parent, geometry) {
    if (path.isEmpty()) return;
    QPixmap pixmap(path);
    if (pixmap.isNull()) qDebug().noquote() << "Can't load Btn Img : " + path;
    m_images.append(pixmap);
}

ViewBtnImage::ViewBtnImage(QWidget* parent, const QRect& geometry, const QStringList& paths)
    : ViewBtnImage(parent, geometry) {
    m_imageCount = static_cast<uint32_t>(paths.size());
    for (const QString& path : paths) {
        QPixmap pixmap(path);
        if (pixmap.isNull()) qDebug().noquote() << "Can't load Btn img 2 : " + path;
        m_images.append(pixmap);
    }
}

void ViewBtnImage::setEnabledLook(bool enabled) {
    if (enabled == m_enabled) return;
    m_enabled = enabled;
    view_set_opacity(this, enabled ? 1.0 : 0.5);
    if (enabled) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

void ViewBtnImage::setScale(double scale) {
    m_scale = scale;
    emit anim_scale_changed();
    update();
}

void ViewBtnImage::setFade(double fade) {
    m_fade = fade;
    emit fade_image_changed();
    update();
}

void ViewBtnImage::startFade(QParallelAnimationGroup* group) {
    auto* animation = new QPropertyAnimation(this, "fade_image", group);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    animation->setDuration(150);
}

void ViewBtnImage::setImageIndex(uint32_t index, bool animate) {
    if (index >= m_imageCount) return;
    m_imageIndex = index;
    if (animate) {
        // A child of the button, so it cannot outlive the property it drives.
        m_switchAnimation = new QParallelAnimationGroup(this);
        startFade(m_switchAnimation);
        m_switchAnimation->start(QAbstractAnimation::DeleteWhenStopped);
    }
    update();
}

void ViewBtnImage::nextImage(bool animate) {
    setImageIndex(m_imageIndex + 1 < m_imageCount ? m_imageIndex + 1 : 0, animate);
}

QPixmap ViewBtnImage::imageAt(int64_t index) const {
    if (index < 0 || index >= m_imageCount || index >= m_images.size()) return QPixmap();
    return m_images.at(index);
}

void ViewBtnImage::paintEvent(QPaintEvent*) {
    const QRectF bounds = rect();
    const double w = bounds.width() * m_scale;
    const double h = bounds.height() * m_scale;
    const QRectF target(bounds.x() + (bounds.width() - w) / 2, bounds.y() + (bounds.height() - h) / 2, w, h);

    const QPixmap current = imageAt(m_imageIndex);
    if (current.isNull()) {
        qDebug().noquote() << "imgPixNext null";
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (m_fade >= 1.0) {
        painter.drawPixmap(target, current, current.rect());
        return;
    }
    const QPixmap previous = imageAt(m_imageIndex == 0 ? int64_t(m_imageCount) - 1 : int64_t(m_imageIndex) - 1);
    if (previous.isNull()) {
        qDebug().noquote() << "imgPixPrev null";
        return;
    }
    if (m_fade <= 0.0) {
        painter.drawPixmap(target, previous, previous.rect());
        return;
    }
    painter.setOpacity(1.0 - m_fade);
    painter.drawPixmap(target, previous, previous.rect());
    painter.setOpacity(m_fade);
    painter.drawPixmap(target, current, current.rect());
}

void ViewBtnImage::mousePressEvent(QMouseEvent* event) {
    if (!m_enabled) return;
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) view_end_pending_edit(this);
    m_pressAnimation = new QParallelAnimationGroup(this);
    auto* bounce = new QPropertyAnimation(this, "animscale", m_pressAnimation);
    if (m_clickMode == 1) {
        bounce->setKeyValueAt(0.0, 1.0);
        bounce->setKeyValueAt(0.1, 0.9);
        // Back to full size at the end: an animation without an end value would
        // leave the picture to whatever Qt makes of it.
        bounce->setKeyValueAt(1.0, 1.0);
        bounce->setDuration(75);
    } else {
        bounce->setKeyValueAt(0.0, 1.0);
        bounce->setKeyValueAt(0.5, 0.9);
        bounce->setKeyValueAt(1.0, 1.0);
        bounce->setDuration(150);
    }
    // Only a left press steps the picture: a right press must not flip a play/pause
    // or on/off button behind its owner's back.
    if (m_clickMode == 0 && event->button() == Qt::LeftButton) {
        if (m_imageCount < 2) {
            setFade(1.0);
        } else {
            m_imageIndex = m_imageIndex + 1 < m_imageCount ? m_imageIndex + 1 : 0;
            update();
            startFade(m_pressAnimation);
        }
    }
    m_pressAnimation->start(QAbstractAnimation::DeleteWhenStopped);

    if (event->button() == Qt::LeftButton) {
        emit ViewBtnImage_Clic(tag, QGuiApplication::keyboardModifiers());
    } else if (event->button() == Qt::RightButton) {
        emit ViewBtnImage_RightClic(tag, event);
    }
}
