#pragma once
// Scroll container: a frameless QScrollArea holding a content widget that the owner
// fills and sizes. Scroll bars appear only when the content exceeds the view by more
// than 5 pixels. Can auto-scroll vertically by a step every 10 ms (e.g. while a drag
// hovers an edge). GUI thread only; the widget owns its scroll area and content.
#include <QPointer>
#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>

class QMouseEvent;
class QScrollArea;
class QTimer;

// The dark 10-pixel scroll bars of the toolkit (also used by the text view).
QString view_scroll_bar_style_sheet();

class ViewSimpleScroll : public QWidget {
    Q_OBJECT
public:
    ViewSimpleScroll(QWidget* parent, const QRect& geometry);

    // The widget to fill; its size is the scrolled extent.
    QWidget* contentWidget() const { return m_content; }
    QScrollArea* scrollArea() const { return m_scroll; }

    // Fits the scroll area to the widget and decides each bar. Also run on resize.
    virtual void updateLayout();

    // Scrolls the vertical bar by `step` now and every 10 ms after, until a step of 0
    // or the end in that direction. A call while a tick is pending only changes the
    // step (the pending tick applies it).
    void setAutoScroll(int32_t step);

signals:
    void ViewSimpleScroll_ClicOutside_for_scroll(QMouseEvent* event);
    void ViewSimpleScroll_RightClicOutside_for_scroll(QMouseEvent* event);

public slots:
    void act_timer_auto_scroll();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void dropTimer();
    void stopAutoScroll();

    QWidget* m_content = nullptr;
    QScrollArea* m_scroll = nullptr;
    QPointer<QTimer> m_timer;
    std::atomic<bool> m_tickPending{false};
    std::atomic<int32_t> m_step{0};
};
