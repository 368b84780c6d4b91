// The slots behind the View menu's entries and the video's context menu (guides,
// display modes, zoom), the states both menus show, and the Help and About windows.
// The display modes live in the renderer and the guide switches in the settings: the
// menus read them here (actionState) after every change, never keeping their own.
#include <QDebug>

#include "app/main_window.h"
#include "base/settings/global_settings.h"
#include "app/window_shortcuts.h"
#include "movie/file_to_play.h"
#include "render/canvas_modes.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"
#include "tools/panel_audio_mapping.h"
#include "tools/panel_audio_meter.h"
#include "ui/dialog_about.h"

namespace {

// The about window's link; the player has no web page of its own yet.
constexpr const char* kWebPage = "https://example.org/norvu-hap-player";

// The menu's background entries put Custom Color before Checkerboard, the renderer's
// modes the other way round; the swap is its own inverse, so it also turns a mode back
// into its entry.
uint32_t toBaseGpu2dCanvasBackgroundMode(uint32_t value) {
    switch (value) {
    case 0: return BaseGpu2dCanvas_BackgroundMode_Black;
    case 1: return BaseGpu2dCanvas_BackgroundMode_White;
    case 2: return BaseGpu2dCanvas_BackgroundMode_CustomColor;
    case 3: return BaseGpu2dCanvas_BackgroundMode_Checkerboard;
    case 4: return BaseGpu2dCanvas_BackgroundMode_CustomCheckerboard;
    default: break;
    }
    qDebug("Unknown BaseGpu2dCanvas_BackgroundMode : %u", value);
    return BaseGpu2dCanvas_BackgroundMode_Black;
}

// The entry a mode's menu checks: the mode itself when the kind has it; otherwise the
// menu's own line (whose %1 is the value) and its own entry, which are not the
// preferences' fallback.
uint32_t checked_entry(DisplayModeKind kind, uint32_t value, const char* message, uint32_t entry) {
    if (value < display_mode_rule(kind).count) return value;
    qDebug().noquote() << QString::fromLatin1(message).arg(value);
    return entry;
}

}  // namespace

int MainWindow::actionState(ActionState state) const {
    VulkanWinRenderer* r = renderer();
    switch (state) {
    case ActionState::None: return 0;
    case ActionState::InformationShown: return m_informationShown;
    case ActionState::ControlsShown: return m_controlsShown;
    case ActionState::FullScreen: return isFullScreen();
    case ActionState::SafeAreaShown: return m_settings->isSafeAreaVisible();
    case ActionState::VideoAreaShown: return m_settings->isVideoAreaVisible();
    case ActionState::CropBoxAreaShown: return m_settings->isDisplayWindowAreaVisible();
    case ActionState::MetersPanelShown: return m_meterPanel && m_meterPanel->isVisible();
    case ActionState::MappingPanelShown: return m_mappingPanel && m_mappingPanel->isVisible();
    case ActionState::MovieHasDisplayWindow: return m_movie && m_movie->hasDisplayWindow();
    case ActionState::FpsMode: return m_movie ? int(m_movie->fpsMode()) : 0;
    default: break;
    }
    if (!r) return -1;
    // The raw modes: the renderer's sanitising getters renumber the background.
    switch (state) {
    case ActionState::CropBoxMode:
        return int(checked_entry(DisplayModeKind::CropBox, r->cropBoxDisplayMode(),
                                 "Unknown crop box display Mode : %1", 1));
    case ActionState::BackgroundMode: return int(toBaseGpu2dCanvasBackgroundMode(r->backgroundModeRaw()));
    case ActionState::AlphaMode:
        return int(checked_entry(DisplayModeKind::Alpha, r->alphaModeRaw(), "Unknown Alpha Mode : %1", 0));
    case ActionState::ChannelMode:
        return int(checked_entry(DisplayModeKind::Channels, r->channelMode(),
                                 "Unknown BaseGpu2dCanvas_ChannelMode : %1", 0));
    case ActionState::ScaleMode:
        return int(checked_entry(DisplayModeKind::Scaling, r->scaleModeRaw(), "Unknown scaling Mode : %1", 1));
    case ActionState::ZoomLevel: return r->zoomLevelIndex();
    default: return -1;
    }
}

void MainWindow::act_menu_bg(uint32_t index) {
    VulkanWinRenderer* r = renderer();
    if (!m_videoWindow || !r) return;
    index = display_mode_or_default(DisplayModeKind::Background, index, ModeLineTo::DebugLog);
    r->setBackgroundMode(toBaseGpu2dCanvasBackgroundMode(index));
    m_videoWindow->requestUpdate();
    refreshMenuActions();
}

void MainWindow::act_menu_alpha_mode(uint32_t mode) {
    VulkanWinRenderer* r = renderer();
    if (!m_videoWindow || !r) return;
    r->setAlphaMode(display_mode_or_default(DisplayModeKind::Alpha, mode, ModeLineTo::DebugLog));
    m_videoWindow->requestUpdate();
    refreshMenuActions();
}

void MainWindow::act_menu_channels(uint32_t mode) {
    VulkanWinRenderer* r = renderer();
    if (!m_videoWindow || !r) return;
    r->setChannelMode(display_mode_or_default(DisplayModeKind::Channels, mode, ModeLineTo::DebugLog));
    m_videoWindow->requestUpdate();
    refreshMenuActions();
}

void MainWindow::act_menu_scaling(uint32_t mode) {
    VulkanWinRenderer* r = renderer();
    if (!m_videoWindow || !r) return;
    r->setScaleMode(display_mode_or_default(DisplayModeKind::Scaling, mode, ModeLineTo::DebugLog));
    m_videoWindow->requestUpdate();
    refreshMenuActions();
}

void MainWindow::act_menu_cropbox_display_mode(uint32_t mode) {
    VulkanWinRenderer* r = renderer();
    if (!m_videoWindow || !r) return;
    r->setCropBoxDisplayMode(display_mode_or_default(DisplayModeKind::CropBox, mode, ModeLineTo::DebugLog));
    // The crop box moves the picture: its geometry is rebuilt, not only redrawn.
    r->refresh();
    updateIfPaused();
    refreshMenuActions();
}

void MainWindow::act_menu_zoom(uint32_t index) {
    VulkanWinRenderer* r = renderer();
    if (!r) return;
    r->setZoomLevel(static_cast<int>(index));
    refreshViewSize();
    refreshMenuActions();
}

void MainWindow::act_menu_center_video() {
    VulkanWinRenderer* r = renderer();
    if (!r) return;
    r->resetPanOffset();
    refreshViewSize();
}

void MainWindow::act_menu_show_hide_safe_area() {
    const bool show = !m_settings->isSafeAreaVisible();
    m_settings->setSafeAreaVisible(show);
    if (VulkanWinRenderer* r = renderer()) r->setShowSafeArea(show);
    updateIfPaused();
    refreshMenuActions();
}

void MainWindow::act_menu_show_hide_video_area() {
    const bool show = !m_settings->isVideoAreaVisible();
    m_settings->setVideoAreaVisible(show);
    if (VulkanWinRenderer* r = renderer()) r->setShowVideoArea(show);
    updateIfPaused();
    refreshMenuActions();
}

void MainWindow::act_menu_show_hide_cropbox_display_area() {
    const bool show = !m_settings->isDisplayWindowAreaVisible();
    m_settings->setDisplayWindowAreaVisible(show);
    if (VulkanWinRenderer* r = renderer()) r->setShowCropBoxArea(show);
    updateIfPaused();
    refreshMenuActions();
}

void MainWindow::act_about_menu() {
    if (!m_aboutDialog) {
        m_aboutDialog = new DialogAbout(nullptr, tr("About Norvu HAP Player"),
                                       QStringLiteral(":/Rsc/RESSOURCES_UI/ICON_PLAYER.png"));
        BaseAboutSplash* splash = m_aboutDialog->splash();
        splash->setVersion(tr("Version : %1").arg(QString::fromLatin1(kVersion)));
        splash->setTitle(tr("Norvu HAP Player"));
        splash->setLink(QString::fromLatin1(kWebPage));
    }
    m_aboutDialog->show();
    m_aboutDialog->activateWindow();
}

void MainWindow::act_keyboard_shortcuts() {
    if (!m_shortcutsWindow) m_shortcutsWindow = new WindowShortcuts(nullptr);
    m_shortcutsWindow->show();
    m_shortcutsWindow->activateWindow();
}
