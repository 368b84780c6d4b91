#include "ui/view_simple_image.h"

#include <QDebug>
#include <QPainter>
#include <QStyle>

View_SimpleImage::View_SimpleImage(QWidget* parent, const QRect& geometry, const QString& path) : QWidget(parent) {
    setGeometry(geometry);
    if (!path.isEmpty()) {
        m_pixmap = QPixmap(path);
        if (m_pixmap.isNull()) qDebug().noquote() << "Can't load View Image : '" + path + "'";
    }
    update();
}

QRect View_SimpleImage::imageRect() const {
    // A picture without area has no aspect to keep (and would divide by zero).
    if (m_pixmap.width() <= 0 || m_pixmap.height() <= 0 || width() <= 0 || height() <= 0) return QRect();
    int w = width();
    int h = static_cast<int>(int64_t(m_pixmap.height()) * w / m_pixmap.width());
    if (h > height()) {
        h = height();
        w = static_cast<int>(int64_t(h) * m_pixmap.width() / m_pixmap.height());
    }
    return QStyle::alignedRect(layoutDirection(), Qt::AlignCenter, QSize(w, h), rect());
}

void View_SimpleImage::paintEvent(QPaintEvent*) {
    const QRect target = imageRect();
    if (target.isEmpty()) return;
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const QPixmap scaled = m_pixmap.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    style()->drawItemPixmap(&painter, rect(), Qt::AlignCenter, scaled);
}
