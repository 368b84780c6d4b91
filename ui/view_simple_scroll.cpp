#include "ui/view_simple_scroll.h"

#include "ui/view_widget_base.h"

#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

QString view_scroll_bar_style_sheet() {
    return QStringLiteral(
        "QScrollBar:vertical, QScrollBar:horizontal {background: #232D36;margin: 0;}"
        "QScrollBar:vertical{width: 10px;}QScrollBar:horizontal{height: 10px;}"
        "QScrollBar::handle:vertical, QScrollBar::handle:horizontal {background: #45586A;} "
        "QScrollBar::add-line:vertical { height: 0px;}QScrollBar::sub-line:vertical {height: 0px;}"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical, QScrollBar::add-page:horizontal, "
        "QScrollBar::sub-page:horizontal {background: none;}"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical {height: 0px;} "
        "QScrollBar::add-line:horizontal { width: 0px;}QScrollBar::sub-line:horizontal {width: 0px;}"
        "QScrollBar::add-page:horizontal, QScrollBar::sub-page:horizontal {width: 0px;}");
}

namespace {

void fill_background(QWidget* widget, const QColor& colour) {
    view_set_palette_color(widget, QPalette::Window, colour);
    widget->setAutoFillBackground(true);
}

}  // namespace

ViewSimpleScroll::ViewSimpleScroll(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    const QRect inner(0, 0, geometry.width(), geometry.height());
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setGeometry(inner);
    m_content = new QWidget();
    m_content->setGeometry(inner);
    fill_background(m_scroll, QColor(50, 64, 77));
    fill_background(m_content, QColor(50, 64, 77));
    m_scroll->setStyleSheet(view_scroll_bar_style_sheet());
    m_scroll->setWidget(m_content);  // the scroll area owns the content from here
}

void ViewSimpleScroll::updateLayout() {
    const int w = width();
    const int h = height();
    m_scroll->setGeometry(0, 0, w, h);
    m_scroll->setHorizontalScrollBarPolicy(w < m_content->width() - 5 ? Qt::ScrollBarAlwaysOn
                                                                      : Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(h < m_content->height() - 5 ? Qt::ScrollBarAlwaysOn
                                                                     : Qt::ScrollBarAlwaysOff);
}

void ViewSimpleScroll::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateLayout();
}

void ViewSimpleScroll::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton)
        emit ViewSimpleScroll_RightClicOutside_for_scroll(event);
    else
        emit ViewSimpleScroll_ClicOutside_for_scroll(event);
}

void ViewSimpleScroll::dropTimer() {
    if (m_timer) {
        m_timer->stop();
        m_timer->deleteLater();
    }
    m_timer = nullptr;
    m_tickPending = false;
}

void ViewSimpleScroll::stopAutoScroll() {
    dropTimer();
    m_step = 0;
}

void ViewSimpleScroll::setAutoScroll(int32_t step) {
    QScrollBar* bar = m_scroll->verticalScrollBar();
    if (step == 0 || (step > 0 && bar->value() >= bar->maximum()) || (step < 0 && bar->value() <= bar->minimum())) {
        stopAutoScroll();
        return;
    }
    if (m_tickPending) {
        // The pending tick scrolls with the newest step.
        m_step = step;
        return;
    }
    m_step = step;
    bar->setValue(std::clamp(bar->value() + step, bar->minimum(), bar->maximum()));
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &ViewSimpleScroll::act_timer_auto_scroll);
    m_tickPending = true;
    m_timer->start(10);
}

void ViewSimpleScroll::act_timer_auto_scroll() {
    dropTimer();
    const int32_t step = m_step;
    if (step != 0) setAutoScroll(step);
}
