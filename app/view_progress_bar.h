#pragma once
// ViewProgressBar: the timeline under the video. It paints the track, the played part
// and the in/out range, and turns a click or a drag into a frame number, which it
// sends; the main window seeks and pushes the new current frame back. Frames map to a
// track 12 pixels in from each side. Owned by its Qt parent; GUI thread only.
#include <QRect>
#include <QWidget>
#include <cstdint>

// The frame under x on a timeline `width` pixels wide holding `count` frames: the
// nearest to (count - 1) * t for t = (x - 12) / (width - 24), 0 left of the track,
// the last frame right of it. 0 when count is 0.
uint32_t timeline_frame_at(double x, int width, uint32_t count);

class ViewProgressBar : public QWidget {
    Q_OBJECT
public:
    ViewProgressBar(QWidget* parent, const QRect& geometry);

    // A count of 0 sets the current frame to 0; a current frame past the end becomes
    // the last one. No repaint (the main window repaints after its updates).
    void setFrameCount(uint32_t count);
    // The frame, held within the movie. No repaint.
    void setCurrentFrame(uint32_t frame);
    // -1 for an unset point. Schedules a repaint.
    void setInOutPoints(int32_t in_point, int32_t out_point);

    uint32_t frameCount() const { return m_count; }
    uint32_t currentFrame() const { return m_current; }

signals:
    void viewProgressClicProgress(uint32_t frameClic);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void seekTo(double x);

    uint32_t m_count = 0;
    uint32_t m_current = 0;
    int32_t m_in = -1;
    int32_t m_out = -1;
};
