#pragma once
// ViewInOutPoint: the strip under the timeline with the in and out markers. Dragging
// a marker sends the frame under the pointer; the main window sets the point and
// pushes both points back, then re-runs updateLayout(). The strip never checks the
// order of the points. Owned by its Qt parent; GUI thread only.
#include <QRect>
#include <QWidget>
#include <cstdint>

class View_SimpleImage;

class ViewInOutPoint : public QWidget {
    Q_OBJECT
public:
    // Markers square, as high as the strip; both hidden until a movie and a point.
    ViewInOutPoint(QWidget* parent, const QRect& geometry);

    // Stores the count and places the markers.
    void setFrameCount(uint32_t count);
    // -1 for an unset point. Both markers are shown when a movie is set and at least
    // one point is (an unset one sits at its end of the movie); they are not moved.
    void setInOutPoints(int32_t in_point, int32_t out_point);
    // Places the markers: the in marker's right edge on the in point, the out
    // marker's left edge after the out frame. Nothing without a movie.
    void updateLayout();

    View_SimpleImage* inMarker() const { return m_inMarker; }
    View_SimpleImage* outMarker() const { return m_outMarker; }

signals:
    void ViewInOutPointDelegate_SetIn(int32_t nPoint);
    void ViewInOutPointDelegate_SetOut(int32_t nPoint);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum Drag { Drag_None = 0, Drag_In = 1, Drag_Out = 2 };

    uint32_t m_drag = Drag_None;
    View_SimpleImage* m_inMarker;
    View_SimpleImage* m_outMarker;
    int32_t m_in = -1;
    int32_t m_out = -1;
    uint32_t m_count = 0;
};
