#include "ui/view_progress_bar_task.h"

#include "ui/view_label.h"
#include "ui/view_progress.h"

#include <algorithm>

ViewTaskProgressBar::ViewTaskProgressBar(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    setGeometry(geometry);
    const int w = geometry.width();
    m_text = new ViewLabel(this, QRect(0, 1, w, 20), QString(), 4);
    m_text->alignCenter();
    m_bar = new ViewProgress(this, QRect(0, 21, w, 7));
    setProgress(0);
}

void ViewTaskProgressBar::setProgress(uint32_t percent) {
    const uint32_t p = std::min<uint32_t>(percent, 100);
    m_text->setText(QStringLiteral("%1 %2").arg(p).arg(QStringLiteral("%")));
    m_bar->setValue(float(p) / 100.0f);
}

void ViewTaskProgressBar::setBackgroundColor(const QColor& colour) {
    m_bar->setBackgroundColor(colour);
}

void ViewTaskProgressBar::setBarBrush(const QColor& colour) {
    m_bar->setBarColor(colour);
}

void ViewTaskProgressBar::setIdleColor() {
    m_bar->setBarColor(QColor(101, 101, 101));
}

void ViewTaskProgressBar::setRunColor() {
    m_bar->setBarColor(QColor(254, 178, 7));
}

void ViewTaskProgressBar::setDoneColor() {
    m_bar->setBarColor(QColor(0, 159, 115));
}
