#pragma once
// ViewSlider: a small integer slider with a fixed 74-pixel track starting at x = 5.
// A left press (or a drag with the left button) sets the value from the pointer's x;
// Ctrl-press sets the default. Each sends act_mouse_slider, then ViewSlider_Changed
// with the owner's tag. Values outside the range are clamped with a log line. A press
// first ends the edit still being typed in an entry of the window (view_pending_edit.h).
// An empty range (minimum == maximum) draws at its start.
//
// Owned by its Qt parent. GUI thread only.
#include <QRect>
#include <QWidget>

#include <cstdint>

class ViewSlider : public QWidget {
    Q_OBJECT
public:
    // A maximum below the minimum becomes the minimum; the default is clamped into
    // the range (each with a log line).
    ViewSlider(QWidget* parent, const QRect& geometry, int32_t minValue, int32_t maxValue, int32_t defaultValue);

    // Clamps, stores and repaints; nothing is sent.
    void setValue(int32_t value);
    int32_t value() const { return m_value; }
    int32_t minimum() const { return m_min; }
    int32_t maximum() const { return m_max; }

    // Dims to 0.6 (out) or back to 1.0 (in), animated unless the duration is 0. The
    // slider keeps taking the mouse.
    void fadeOutLook(float durationMs);
    void fadeInLook(float durationMs);

    // The value a press at `x` gives.
    int32_t valueAt(double x) const;
    // Fraction of the range the value stands at, 0 for an empty range.
    float fraction() const;

    // Sent first in ViewSlider_Changed; written by the owner.
    uint32_t tag = 0;

signals:
    void act_mouse_slider();
    void ViewSlider_Changed(uint32_t senderTag, uint32_t nVal);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void fadeLook(double target, float durationMs);
    void reportChange();

    int32_t m_min = 0;
    int32_t m_max = 0;
    int32_t m_default = 0;
    int32_t m_value = 0;
};
