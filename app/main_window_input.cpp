// Keys, the mouse on the video and drops on the window. Which plain key runs what is
// written in the action table (main_window_actions.cpp); the menu shortcuts (Ctrl+I,
// Ctrl+O, Ctrl+F, Ctrl+Q) never come here: the menu entries take them, and the window
// carries those entries too so that they work in full screen (main_window_menus.cpp).
//
// X11 repeats held keys as press/release pairs: every key whose meaning depends on
// being held or on happening once (Space's pan tap, K held, the I and O points)
// ignores auto-repeated events.
//
// I and O act when the key comes up, by the chord that was typed: the modifiers held
// at the press and any still held at the release, so a Shift or Alt let go a moment
// before the letter still goes to or clears the point. Only a press this handler
// received arms its release: Ctrl+I taken by the menu's shortcut, or a letter typed
// into another window, sets no point when it comes up here.
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QWheelEvent>

#include <functional>

#include "app/main_window.h"
#include "movie/file_to_play.h"
#include "movie/frame_compressed_buffer.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"

void MainWindow::viewVideoKeyPressEvent(QKeyEvent* event) { keyPressEvent(event); }

void MainWindow::viewVideoKeyReleaseEvent(QKeyEvent* event) { keyReleaseEvent(event); }

QPointF MainWindow::pointerInVideo() const {
    QPointF point = mapFromGlobal(QCursor::pos());
    point.ry() -= m_videoContainer->geometry().top();
    return point;
}

std::optional<Qt::KeyboardModifiers>* MainWindow::pointKeyPress(int key) {
    if (key == Qt::Key_I) return &m_inKeyPress;
    if (key == Qt::Key_O) return &m_outKeyPress;
    return nullptr;
}

// The plain keys are rows of the action table (findKeyAction); the keys that act on
// being held (Space, K) are handled here, and the I and O presses are noted for
// their releases.
void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (std::optional<Qt::KeyboardModifiers>* press = pointKeyPress(event->key()); press && !event->isAutoRepeat())
        *press = event->modifiers();
    VulkanWinRenderer* r = renderer();
    if (!m_videoWindow || !r) return;
    if (const MainWindowAction* row = findKeyAction(event->key(), event->modifiers())) {
        if (m_movie || row->key.withoutMovie) (this->*row->run)();
        return;
    }
    if (!m_movie) return;
    switch (event->key()) {
    case Qt::Key_Space:
        if (event->isAutoRepeat()) break;
        if (r->beginPanMode(VulkanWinRenderer::interactionClockSeconds())) updateCursor();
        break;
    case Qt::Key_K:
        if (event->isAutoRepeat()) break;
        m_kHeld = true;
        stopPlayback();
        break;
    default:
        break;
    }
}

void MainWindow::shuttleForward() {
    if (m_kHeld) {
        viewControlsClicNextFrame();
        return;
    }
    const int32_t step = m_frameQueue->playStep();
    setPlaySpeed(step <= 0 ? 1 : step * 2);
}

void MainWindow::shuttleReverse() {
    if (m_kHeld) {
        viewControlsClicPrevFrame();
        return;
    }
    const int32_t step = m_frameQueue->playStep();
    setPlaySpeed(step >= 0 ? -1 : step * 2);
}

void MainWindow::zoomInCentre() { zoomView([](VulkanWinRenderer& r) { r.zoomInCentre(); }); }
void MainWindow::zoomInAtPointer() { zoomView([this](VulkanWinRenderer& r) { r.zoomInAt(pointerInVideo()); }); }
void MainWindow::zoomOutCentre() { zoomView([](VulkanWinRenderer& r) { r.zoomOutCentre(); }); }
void MainWindow::zoomOutAtPointer() { zoomView([this](VulkanWinRenderer& r) { r.zoomOutAt(pointerInVideo()); }); }
void MainWindow::zoomToFit() { zoomView([](VulkanWinRenderer& r) { r.zoomFit(); }); }

void MainWindow::zoomView(const std::function<void(VulkanWinRenderer&)>& zoom) {
    VulkanWinRenderer* r = renderer();
    if (!r) return;
    zoom(*r);
    refreshViewSize();
    refreshMenuActions();
}

void MainWindow::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) return;
    Qt::KeyboardModifiers mods = event->modifiers();
    if (std::optional<Qt::KeyboardModifiers>* press = pointKeyPress(event->key())) {
        if (!*press) return;
        mods |= **press;
        press->reset();
    }
    const bool shift = mods & Qt::ShiftModifier;
    const bool alt = mods & Qt::AltModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_K:
        m_kHeld = false;
        break;
    case Qt::Key_Space: {
        VulkanWinRenderer* r = renderer();
        if (!r) break;
        bool tap = false;
        if (r->endPanMode(VulkanWinRenderer::interactionClockSeconds(), &tap)) {
            updateCursor();
            if (tap && m_movie) setPlaySpeed(m_frameQueue->playStep() != 0 ? 0 : 1);
        }
        break;
    }
    case Qt::Key_I:
        if (!m_movie) break;
        if (alt) viewControlsClicResetIn();
        else if (shift) viewControlsClicGoToIn();
        else if (!ctrl) ViewInOutPointDelegate_SetIn(static_cast<int32_t>(m_currentFrame));
        break;
    case Qt::Key_O:
        if (!m_movie) break;
        if (alt) viewControlsClicResetOut();
        else if (shift) viewControlsClicGoToOut();
        else ViewInOutPointDelegate_SetOut(static_cast<int32_t>(m_currentFrame));
        break;
    default:
        break;
    }
}

void MainWindow::updateCursor() {
    VulkanWinRenderer* r = renderer();
    if (!m_videoWindow || !r) return;
    m_videoWindow->setCursorIndex(static_cast<uint32_t>(r->interactionState()));
}

void MainWindow::refreshViewSize() {
    VulkanWinRenderer* r = renderer();
    if (!m_videoWindow || !r) return;
    r->setImageSize(m_videoWindow->size());
    r->refresh();
    m_videoWindow->requestUpdate();
}

void MainWindow::ViewVideo_MousePress(const QPointF& nMousePoint) {
    VulkanWinRenderer* r = renderer();
    if (!r) return;
    if (r->dragBegin(nMousePoint)) updateCursor();
}

void MainWindow::ViewVideo_MouseDragged(const QPointF& point) {
    VulkanWinRenderer* r = renderer();
    if (!r) return;
    r->dragTo(point);
    refreshViewSize();
}

void MainWindow::ViewVideo_MouseRelease(const QPointF&) {
    VulkanWinRenderer* r = renderer();
    if (!r) return;
    r->panEnd();
    updateCursor();
}

void MainWindow::ViewVideo_MiddleMousePress(const QPointF& point) {
    VulkanWinRenderer* r = renderer();
    if (!r) return;
    r->panBegin(point);
    updateCursor();
}

void MainWindow::ViewVideo_MiddleMouseDragged(const QPointF& point) {
    VulkanWinRenderer* r = renderer();
    if (!r) return;
    r->panMove(point);
    refreshViewSize();
}

void MainWindow::ViewVideo_MiddleMouseRelease(const QPointF& point) { ViewVideo_MouseRelease(point); }

void MainWindow::viewVideoMouseScroll(QWheelEvent* event) {
    VulkanWinRenderer* r = renderer();
    if (!r || !event) return;
    if (QGuiApplication::keyboardModifiers() & Qt::AltModifier)
        r->zoomByAt(static_cast<float>(event->angleDelta().x()) / 480.0f, event->position());
    else
        r->zoomByCentre(static_cast<float>(event->angleDelta().y()) / 480.0f);
    refreshViewSize();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::DragEnter) {
        dragEnterEvent(static_cast<QDragEnterEvent*>(event));
        return true;
    }
    if (event->type() == QEvent::Drop) {
        dropEvent(static_cast<QDropEvent*>(event));
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData() && event->mimeData()->hasUrls()) event->acceptProposedAction();
    else event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event) {
    if (!event->mimeData()) return;
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) paths.append(url.toLocalFile());
    event->acceptProposedAction();
    loadFile(paths, -1, false);
}
