#include "render/vulkan_window.h"

#include <QDebug>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>

#include "movie/file_link_information_data.h"
#include "render/vulkan_win_renderer.h"

namespace {

// Half away from zero.
int round_coordinate(double value) { return int(value < 0.0 ? value - 0.5 : value + 0.5); }

QPoint rounded(const QPointF& point) { return QPoint(round_coordinate(point.x()), round_coordinate(point.y())); }

}  // namespace

VulkanWindow::VulkanWindow() : QVulkanWindow(nullptr) {
    // The shaders write final colour values: an sRGB swap chain would encode them again.
    setPreferredColorFormats({VK_FORMAT_B8G8R8A8_UNORM, VK_FORMAT_R8G8B8A8_UNORM});
    cursors << QCursor(Qt::ArrowCursor) << QCursor(Qt::OpenHandCursor) << QCursor(Qt::ClosedHandCursor)
            << QCursor(Qt::PointingHandCursor);
}

VulkanWindow::~VulkanWindow() {
    // Never leave a cursor of ours on the application's stack.
    setCursorIndex(0);
    zones.clear();
    cursors.clear();
}

QVulkanWindowRenderer* VulkanWindow::createRenderer() {
    renderer = new VulkanWinRenderer(this);
    return renderer;
}

void VulkanWindow::emitRendererEndInit() { emit viewVideoRendererEndInit(); }

void VulkanWindow::setCursorIndex(uint32_t index) {
    if (int64_t(index) == cursorIndex) return;
    if (index >= uint32_t(cursors.size())) {
        qDebug("Invalid cursor index : %u", index);
        return;
    }
    if (cursorIndex != -1) {
        if (index == 0) {
            QGuiApplication::restoreOverrideCursor();
            cursorIndex = -1;
        } else {
            QGuiApplication::changeOverrideCursor(cursors[int(index)]);
            cursorIndex = int32_t(index);
        }
        return;
    }
    if (index == 0) return;
    QGuiApplication::setOverrideCursor(cursors[int(index)]);
    cursorIndex = int32_t(index);
}

// The pointing hand is an application-wide override: it must go whenever the pointer
// can no longer be over a zone, not only on the next move inside the window.
void VulkanWindow::leaveZone() {
    if (!overZone) return;
    overZone = false;
    setCursorIndex(0);
}

void VulkanWindow::setShowErrorOverlay(bool show) {
    showErrorOverlay = show;
    if (renderer) renderer->setShowErrorOverlay(show);
}

void VulkanWindow::setShowInformationOverlay(bool show) {
    showInformationOverlay = show;
    if (!show) leaveZone();
    if (renderer) renderer->setShowInformationOverlay(show);
}

void VulkanWindow::setInformationZones(const QList<FileLinkInformationData*>& newZones) {
    leaveZone();
    zones.clear();
    zones.append(newZones);
}

bool VulkanWindow::zoneContains(const QPoint& point) const {
    for (const FileLinkInformationData* zone : zones)
        if (zone && zone->rect.contains(point)) return true;
    return false;
}

void VulkanWindow::keyPressEvent(QKeyEvent* event) { emit viewVideoKeyPressEvent(event); }

void VulkanWindow::keyReleaseEvent(QKeyEvent* event) { emit viewVideoKeyReleaseEvent(event); }

void VulkanWindow::mouseDoubleClickEvent(QMouseEvent*) { emit viewVideoDoubleClick(); }

void VulkanWindow::mousePressEvent(QMouseEvent* event) {
    const QPointF local = event->position();
    const QPoint p = rounded(local);
    if (event->button() == Qt::RightButton) {
        emit viewVideoRightClic(event);
        return;
    }
    if (event->button() == Qt::MiddleButton) {
        emit ViewVideo_MiddleMousePress(local);
        return;
    }
    if (showErrorOverlay && errorOverlayRect.contains(p)) {
        emit viewVideoClicError();
        return;
    }
    if (showInformationOverlay && informationOverlayRect.contains(p)) {
        // Zone coordinates: differences truncated toward zero.
        const QPoint q(int(local.x() - informationOverlayRect.left()), int(local.y() - informationOverlayRect.top()));
        for (const FileLinkInformationData* zone : zones) {
            if (zone && zone->rect.contains(q)) {
                emit viewVideoClicNameFile(zone->text);
                return;
            }
        }
        return;
    }
    emit ViewVideo_MousePress(local);
}

void VulkanWindow::mouseReleaseEvent(QMouseEvent* event) { emit ViewVideo_MouseRelease(event->position()); }

void VulkanWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPointF local = event->position();
    if (event->buttons() & Qt::LeftButton) {
        emit ViewVideo_MouseDragged(local);
        return;
    }
    if (event->buttons() & Qt::MiddleButton) {
        emit ViewVideo_MiddleMouseDragged(local);
        return;
    }
    if (!showInformationOverlay) return;
    const QPoint p = rounded(local);
    const QPoint q(p.x() - informationOverlayRect.left(), p.y() - informationOverlayRect.top());
    const bool inside = zoneContains(q);
    if (!overZone && inside) {
        overZone = true;
        setCursorIndex(3);
    } else if (overZone && !inside) {
        leaveZone();
    }
}

void VulkanWindow::wheelEvent(QWheelEvent* event) {
    const QPointF p = event->position();
    const QSize size = geometry().size();
    if (p.x() >= 0.0 && p.x() <= size.width() && p.y() >= 0.0 && p.y() <= size.height()) {
        emit viewVideoMouseScroll(event);
        event->accept();
    }
}

// A new size needs a new frame: the swap chain, the canvas size and the vertex data
// only follow the window when a frame is begun. The window system cannot be relied on
// for it: X exposes a window that grows, and Qt makes up an expose for one that
// shrinks only once it has seen that window configured before, so the first shrink of
// the video (the window made smaller) would keep the old picture, cut at the new edges,
// until something else asked for a frame.
void VulkanWindow::resizeEvent(QResizeEvent* event) {
    QVulkanWindow::resizeEvent(event);
    requestUpdate();
}

bool VulkanWindow::event(QEvent* event) {
    if (event->type() == QEvent::Leave) leaveZone();
    return QVulkanWindow::event(event);
}
