#include "app/view_in_out_point.h"

#include <QMouseEvent>
#include <cmath>

#include "app/view_progress_bar.h"
#include "ui/view_simple_image.h"

ViewInOutPoint::ViewInOutPoint(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    setGeometry(geometry);
    const int side = geometry.height();
    m_inMarker = new View_SimpleImage(this, QRect(0, 0, side, side), ":/Rsc/RESSOURCES_UI/SET_IN_COLOR.png");
    m_outMarker = new View_SimpleImage(this, QRect(0, 0, side, side), ":/Rsc/RESSOURCES_UI/SET_OUT_COLOR.png");
    m_inMarker->hide();
    m_outMarker->hide();
}

void ViewInOutPoint::setFrameCount(uint32_t count) {
    m_count = count;
    updateLayout();
}

void ViewInOutPoint::setInOutPoints(int32_t in_point, int32_t out_point) {
    m_in = in_point;
    m_out = out_point;
    const bool shown = m_count != 0 && (m_in >= 0 || m_out >= 0);
    m_inMarker->setVisible(shown);
    m_outMarker->setVisible(shown);
}

void ViewInOutPoint::updateLayout() {
    if (m_count == 0) return;
    const int h = height();
    const double length = double(width() - 24);
    const double n = double(m_count);
    const double in_frame = (m_in < 0 || m_count == 1) ? 0.0 : double(m_in);
    const double in_x = length * in_frame / n - h + 12;
    const double out_end = m_out < 0 ? n : double(m_out) + 1.0;
    const double out_x = m_count == 1 ? length + 12 : length * out_end / n + 12;
    // Nearest pixel, halves away from zero.
    m_inMarker->setGeometry(int(std::lround(in_x)), 0, h, h);
    m_outMarker->setGeometry(int(std::lround(out_x)), 0, h, h);
}

void ViewInOutPoint::mousePressEvent(QMouseEvent* event) {
    m_drag = Drag_None;
    if (m_count == 0) return;
    // Only a marker the user can see can be grabbed.
    const QPoint at = event->position().toPoint();
    if (!m_inMarker->isHidden() && m_inMarker->geometry().contains(at)) m_drag = Drag_In;
    else if (!m_outMarker->isHidden() && m_outMarker->geometry().contains(at)) m_drag = Drag_Out;
}

void ViewInOutPoint::mouseMoveEvent(QMouseEvent* event) {
    if (m_drag == Drag_None || m_count == 0) return;
    const int32_t frame = int32_t(timeline_frame_at(event->position().x(), width(), m_count));
    if (m_drag == Drag_In && frame != m_in) emit ViewInOutPointDelegate_SetIn(frame);
    if (m_drag == Drag_Out && frame != m_out) emit ViewInOutPointDelegate_SetOut(frame);
}

void ViewInOutPoint::mouseReleaseEvent(QMouseEvent*) { m_drag = Drag_None; }
