#pragma once
// The native window that shows the video. It draws nothing itself: it turns the
// mouse, wheel and key events that reach it into signals for the main window, keeps
// the pointing-hand cursor while the pointer is over a file zone of the information
// overlay, and knows where the error and information overlays are drawn so that
// clicks on them are recognised. Its only renderer is VulkanWinRenderer.
#include <QCursor>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QVulkanWindow>

class FileLinkInformationData;
class QKeyEvent;
class QMouseEvent;
class QResizeEvent;
class QWheelEvent;
class VulkanWinRenderer;

class VulkanWindow : public QVulkanWindow {
    Q_OBJECT
public:
    VulkanWindow();
    ~VulkanWindow() override;

    QVulkanWindowRenderer* createRenderer() override;
    void emitRendererEndInit();
    // The renderer, once a present showed a video frame handed over (GUI thread).
    void emitFramePresented(uint32_t frame) { emit viewVideoFramePresented(frame); }

    // 0 arrow (no cursor of our own), 1 open hand, 2 closed hand, 3 pointing hand.
    // At most one cursor of this window is ever on the application's override stack.
    void setCursorIndex(uint32_t index);
    void setShowErrorOverlay(bool show);
    void setShowInformationOverlay(bool show);
    // The zones belong to the caller; their rectangles are relative to the
    // information overlay's top-left corner.
    void setInformationZones(const QList<FileLinkInformationData*>& newZones);
    void setErrorOverlayRect(const QRect& rect) { errorOverlayRect = rect; }
    void setInformationOverlayRect(const QRect& rect) { informationOverlayRect = rect; }
    bool zoneContains(const QPoint& point) const;

    // Null until Qt has asked for the renderer (once the device exists).
    VulkanWinRenderer* renderer = nullptr;

signals:
    void viewVideoRightClic(const QMouseEvent* event);
    void viewVideoDoubleClick();
    void viewVideoKeyPressEvent(QKeyEvent* event);
    void viewVideoKeyReleaseEvent(QKeyEvent* event);
    void viewVideoRendererEndInit();
    // A present has just shown video frame `frame` (its frame_number) for the first
    // time: the frame on screen, a while after it was handed over when the renderer
    // is slow. Emitted on the GUI thread, from within the renderer's present.
    void viewVideoFramePresented(uint32_t frame);
    void viewVideoClicError();
    void viewVideoClicNameFile(QString filepath);
    void ViewVideo_MousePress(const QPointF& nMousePoint);
    void ViewVideo_MouseDragged(const QPointF& point);
    void ViewVideo_MouseRelease(const QPointF& point);
    void ViewVideo_MiddleMousePress(const QPointF& point);
    void ViewVideo_MiddleMouseDragged(const QPointF& point);
    // Declared for the main window's connections; a middle release emits
    // ViewVideo_MouseRelease as every release does.
    void ViewVideo_MiddleMouseRelease(const QPointF& point);
    void viewVideoMouseScroll(QWheelEvent* event);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    void leaveZone();

    QList<QCursor> cursors;
    int32_t cursorIndex = -1;
    QRect errorOverlayRect;
    QRect informationOverlayRect;
    QList<FileLinkInformationData*> zones;
    bool showErrorOverlay = false;
    bool showInformationOverlay = false;
    bool overZone = false;
};
