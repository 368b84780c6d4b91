// Zoom, pan and the vertex data of the video renderer (the geometry itself is the
// canvas's, in base_gpu_2d_canvas.cpp).
#include <QDebug>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <memory>

#include "render/player_layout.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"

void VulkanWinRenderer::zoomFit() { canvas_zoom_fit(canvas.get()); }

void VulkanWinRenderer::setZoomLevel(int level) { canvas_set_zoom_level(canvas.get(), level); }

QStringList VulkanWinRenderer::zoomLevelNames() { return canvas_zoom_level_names(); }

int VulkanWinRenderer::zoomLevelIndex() const { return canvas_zoom_level_index(canvas.get()); }

void VulkanWinRenderer::zoomIn() { zoomInCentre(); }

void VulkanWinRenderer::zoomInAt(QPointF point) {
    canvas_zoom_step(canvas.get(), CanvasZoom_In, 0.0, point.x(), point.y());
}

void VulkanWinRenderer::zoomInCentre() {
    zoomInAt(QPointF(canvas->viewWidth / 2.0, canvas->viewHeight / 2.0));
    canvas_bound_pan(canvas.get());
}

void VulkanWinRenderer::zoomOut() { zoomOutCentre(); }

void VulkanWinRenderer::zoomOutAt(QPointF point) {
    canvas_zoom_step(canvas.get(), CanvasZoom_Out, 0.0, point.x(), point.y());
}

void VulkanWinRenderer::zoomOutCentre() {
    zoomOutAt(QPointF(canvas->viewWidth / 2.0, canvas->viewHeight / 2.0));
    canvas_bound_pan(canvas.get());
}

void VulkanWinRenderer::zoomBy(float step) { zoomByCentre(step); }

void VulkanWinRenderer::zoomByAt(float step, QPointF point) {
    canvas_zoom_step(canvas.get(), CanvasZoom_By, step, point.x(), point.y());
}

void VulkanWinRenderer::zoomByCentre(float step) {
    zoomByAt(step, QPointF(canvas->viewWidth / 2.0, canvas->viewHeight / 2.0));
    canvas_bound_pan(canvas.get());
}

void VulkanWinRenderer::resetPanOffset() { canvas_reset_pan(canvas.get()); }

void VulkanWinRenderer::panBegin(QPointF point) { canvas_pan_begin(canvas.get(), point.x(), point.y()); }

void VulkanWinRenderer::panMove(QPointF point) { canvas_pan_move(canvas.get(), point.x(), point.y()); }

void VulkanWinRenderer::panEnd() { canvas_pan_end(canvas.get()); }

bool VulkanWinRenderer::beginPanMode(double seconds) { return canvas_begin_pan_mode(canvas.get(), seconds); }

bool VulkanWinRenderer::endPanMode(double seconds, bool* tap) { return canvas_end_pan_mode(canvas.get(), seconds, tap); }

bool VulkanWinRenderer::dragBegin(QPointF point) { return canvas_drag_begin(canvas.get(), point.x(), point.y()); }

void VulkanWinRenderer::dragTo(QPointF point) { canvas_drag_to(canvas.get(), point.x(), point.y()); }

int VulkanWinRenderer::interactionState() const { return canvas_interaction_state(canvas.get()); }

double VulkanWinRenderer::interactionClockSeconds() {
    static QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return double(clock.nsecsElapsed()) / 1e9;
}

void VulkanWinRenderer::buildVertexData(PlayerLayout* playerLayout) {
    const uint32_t templateCode = playerLayout && playerLayout->data ? playerLayout->data->templateCode : 0;
    canvas_build_vertex_data(canvas.get(), templateCode, &vertexData);
}

void VulkanWinRenderer::refresh() {
    if (!canvas) {
        qDebug("Nil objDrawVideo");
        return;
    }
    if (!initialised) return;
    // The vertex buffers may be re-created or rewritten: no recorded or running frame
    // may still use them.
    const VkResult err = completeFrames();
    if (err != VK_SUCCESS) {
        qWarning("Failed to wait queue Refresh : %s", vk_result_name(err));
        return;
    }
    QMutexLocker lock(&rendererMutex);
    std::unique_ptr<PlayerLayout> temporary;
    PlayerLayout* playerLayout = layout;
    if (!playerLayout) {
        qDebug("No layout, create default one");
        temporary = std::make_unique<PlayerLayout>(nullptr, PlayerLayoutTemplate_Default);
        playerLayout = temporary.get();
    }
    buildVertexData(playerLayout);
    if (vertexData.vertexCount > vertexCapacityCount) {
        vertexCapacityCount = vertexData.vertexCount;
        recreateVertexBuffer();
    }
    if (vertexData.vertices.empty()) {
        qDebug("Invalid vertex data arr");
    } else if (copyToMappedBuffer(&vertexBuffer, vertexData.vertices.data(),
                                  VkDeviceSize(vertexData.vertexCount) * kCanvasVertexBytes) != VK_SUCCESS) {
        qDebug("Fail to copy new vertex data");
    }

    float quad[20];
    canvas_error_overlay_quad(canvas.get(), uint32_t(errorOverlaySize.width()), uint32_t(errorOverlaySize.height()),
                              quad);
    copyToMappedBuffer(&errorOverlayBuffer, quad, sizeof(quad));
    canvas_information_overlay_quad(canvas.get(), informationOverlayHeight, quad);
    copyToMappedBuffer(&informationOverlayBuffer, quad, sizeof(quad));
}
