#include "app/view_progress_bar.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {
const QColor kBackground(6, 11, 14);
const QColor kTrack(23, 29, 35);
const QColor kPlayed(45, 78, 84);
const QColor kRange(137, 94, 29);
const QColor kRangePlayed(218, 150, 52);
constexpr int kInset = 12;
constexpr int kTrackY = 5;
constexpr int kTrackHeight = 8;
}  // namespace

uint32_t timeline_frame_at(double x, int width, uint32_t count) {
    if (count == 0) return 0;
    const double length = double(width - 2 * kInset);
    if (length <= 0.0) return x <= kInset ? 0 : count - 1;  // no track to measure on
    const double t = (x - kInset) / length;
    if (!(t > 0.0)) return 0;
    const double frame = std::round(double(count - 1) * t);
    return frame >= double(count - 1) ? count - 1 : uint32_t(frame);
}

ViewProgressBar::ViewProgressBar(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    setGeometry(geometry);
}

void ViewProgressBar::setFrameCount(uint32_t count) {
    m_count = count;
    if (count == 0) m_current = 0;
    else if (m_current >= count) m_current = count - 1;
}

void ViewProgressBar::setCurrentFrame(uint32_t frame) {
    if (m_count == 0) m_current = 0;
    else m_current = frame >= m_count ? m_count - 1 : frame;
}

void ViewProgressBar::setInOutPoints(int32_t in_point, int32_t out_point) {
    m_in = in_point;
    m_out = out_point;
    update();
}

void ViewProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width();
    painter.fillRect(rect(), kBackground);
    painter.fillRect(QRect(kInset, kTrackY, w - 2 * kInset, kTrackHeight), kTrack);
    const float length = float(w - 2 * kInset);
    const uint32_t n = m_count;
    const uint32_t c = m_current;
    // Pixel positions and widths are truncated toward zero.
    const auto span = [&](double from, double frames, const QColor& colour) {
        painter.fillRect(QRect(kInset + int(length * from / n), kTrackY, int(length * frames / n), kTrackHeight),
                         colour);
    };
    if (n != 0 && c != 0) span(0.0, double(c), kPlayed);
    if (n == 0 || (m_in < 0 && m_out < 0)) return;
    const double a = m_in >= 0 ? double(m_in) : 0.0;
    const double b = m_out >= 0 ? double(m_out) + 1.0 : double(n);
    if (double(c) > b && double(c) >= a) {
        span(a, b - a, kRangePlayed);
        return;
    }
    span(a, b - a, kRange);
    if (double(c) >= a) span(a, double(c) - a, kRangePlayed);
}

void ViewProgressBar::seekTo(double x) {
    if (m_count == 0) return;
    const uint32_t frame = timeline_frame_at(x, width(), m_count);
    if (frame != m_current) emit viewProgressClicProgress(frame);
}

void ViewProgressBar::mousePressEvent(QMouseEvent* event) { seekTo(event->position().x()); }

void ViewProgressBar::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() != Qt::NoButton) seekTo(event->position().x());
}
