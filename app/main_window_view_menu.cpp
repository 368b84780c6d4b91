// The View menu (guides, display modes, zoom), the video's context menu, the display
// mode slots behind both, the Help menu and the about window. The display modes live
// in the renderer and the guide switches in the settings: the check marks are never
// kept in the menus but recomputed from those two after every change.
#include <QAction>
#include <QDebug>
#include <QHash>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>

#include <functional>

#include "app/main_window.h"
#include "app/settings/global_settings.h"
#include "app/window_shortcuts.h"
#include "media/movie/file_to_play.h"
#include "render/canvas_modes.h"
#include "render/vulkan_win_renderer.h"
#include "render/vulkan_window.h"
#include "ui/dialog_about.h"

namespace {

constexpr const char* kVersion = "2.1.1";
// The about window's link; the player has no web page of its own yet.
constexpr const char* kWebPage = "https://example.org/norvu-hap-player";

// Entry labels, shared by the menu bar (translated) and the context menu (plain).
const char* const kCropBoxEntries[] = {QT_TR_NOOP("File"), QT_TR_NOOP("Position file in Display Window")};
const char* const kBackgroundEntries[] = {QT_TR_NOOP("Black"), QT_TR_NOOP("White"), QT_TR_NOOP("Custom Color"),
                                          QT_TR_NOOP("Checkerboard"), QT_TR_NOOP("Custom Checkerboard")};
const char* const kAlphaEntries[] = {QT_TR_NOOP("Premultiply Black"), QT_TR_NOOP("Straight")};
const char* const kChannelEntries[] = {QT_TR_NOOP("RGBA"), QT_TR_NOOP("RGB"), QT_TR_NOOP("Alpha")};
const char* const kScalingEntries[] = {QT_TR_NOOP("Low (Nearest)"), QT_TR_NOOP("Normal (Bilinear)"),
                                       QT_TR_NOOP("High (Bicubic)")};
const char* const kFpsEntries[] = {"Same as source", "23.98", "24", "25", "29.97", "30", "48", "50", "59.94", "60"};

template <size_t N>
QStringList plain_labels(const char* const (&labels)[N]) {
    QStringList list;
    for (const char* label : labels) list << QString::fromLatin1(label);
    return list;
}

template <size_t N>
QStringList translated_labels(const char* const (&labels)[N]) {
    QStringList list;
    for (const char* label : labels) list << MainWindow::tr(label);
    return list;
}

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

// `value` when below `count`; otherwise the console line (whose %1 is the value) and
// the fallback.
uint32_t mode_or_default(uint32_t value, uint32_t count, const char* message, uint32_t fallback) {
    if (value < count) return value;
    qDebug().noquote() << QString::fromLatin1(message).arg(value);
    return fallback;
}

using ModeSlot = void (MainWindow::*)(uint32_t);

// One menu-bar entry per label; entry i runs the slot with i.
QList<QAction*> add_mode_entries(MainWindow* window, QMenu* menu, const QStringList& labels, ModeSlot slot) {
    QList<QAction*> actions;
    for (qsizetype i = 0; i < labels.size(); ++i) {
        QAction* action = menu->addAction(labels[i]);
        const uint32_t index = static_cast<uint32_t>(i);
        QObject::connect(action, &QAction::triggered, window, [window, slot, index] { (window->*slot)(index); });
        actions << action;
    }
    return actions;
}

// A context menu whose entries run what they are registered with once the menu
// returns the chosen one: the menu runner may be replaced, and a replacement only
// names the entry, it triggers nothing.
class ContextMenuEntries {
public:
    QAction* add(QMenu* menu, const QString& label, std::function<void()> run) {
        QAction* action = menu->addAction(label);
        m_runs.insert(action, std::move(run));
        return action;
    }

    // A submenu of checkable entries, `current` checked; entry i runs the slot with i.
    QMenu* addGroup(MainWindow* window, QMenu* menu, const QString& title, const QStringList& labels, int current,
                    ModeSlot slot) {
        QMenu* sub = menu->addMenu(title);
        for (qsizetype i = 0; i < labels.size(); ++i) {
            const uint32_t index = static_cast<uint32_t>(i);
            QAction* action = add(sub, labels[i], [window, slot, index] { (window->*slot)(index); });
            action->setCheckable(true);
            action->setChecked(i == current);
        }
        return sub;
    }

    void run(QAction* chosen) const {
        const auto it = m_runs.constFind(chosen);
        if (it != m_runs.constEnd()) it.value()();
    }

private:
    QHash<QAction*, std::function<void()>> m_runs;
};

QAction* run_context_menu(QMenu* menu, const QPoint& at) {
    // Read the current runner by swapping it out and straight back in.
    const MainWindow::MenuExecProvider runner = MainWindow::setMenuExecProvider(nullptr);
    MainWindow::setMenuExecProvider(runner);
    return runner(menu, at);
}

}  // namespace

void MainWindow::createViewMenu() {
    viewMenu_ = menuBar()->addMenu(tr("&View"));
    informationAction_ = viewMenu_->addAction(tr("Show informations"));
    informationAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    connect(informationAction_, &QAction::triggered, this, &MainWindow::act_menu_show_hide_information);
    controlsAction_ = viewMenu_->addAction(tr("Show controls"));
    connect(controlsAction_, &QAction::triggered, this, &MainWindow::act_menu_show_hide_controls);

    QMenu* guides = viewMenu_->addMenu(tr("Guides"));
    safeAreaAction_ = guides->addAction(tr("Safe area"));
    connect(safeAreaAction_, &QAction::triggered, this, &MainWindow::act_menu_show_hide_safe_area);
    videoAreaAction_ = guides->addAction(tr("Video area"));
    connect(videoAreaAction_, &QAction::triggered, this, &MainWindow::act_menu_show_hide_video_area);
    cropBoxAreaAction_ = guides->addAction(tr("Crop Box Display Window Area"));
    connect(cropBoxAreaAction_, &QAction::triggered, this, &MainWindow::act_menu_show_hide_cropbox_display_area);

    cropBoxModeMenu_ = viewMenu_->addMenu(tr("Crop Box Display Mode"));
    cropBoxModeActions_ = add_mode_entries(this, cropBoxModeMenu_, translated_labels(kCropBoxEntries),
                                           &MainWindow::act_menu_cropbox_display_mode);
    backgroundActions_ = add_mode_entries(this, viewMenu_->addMenu(tr("Background")),
                                          translated_labels(kBackgroundEntries), &MainWindow::act_menu_bg);
    alphaActions_ = add_mode_entries(this, viewMenu_->addMenu(tr("Alpha Mode")), translated_labels(kAlphaEntries),
                                     &MainWindow::act_menu_alpha_mode);
    channelActions_ = add_mode_entries(this, viewMenu_->addMenu(tr("Channel")), translated_labels(kChannelEntries),
                                       &MainWindow::act_menu_channels);
    scalingActions_ = add_mode_entries(this, viewMenu_->addMenu(tr("Scaling")), translated_labels(kScalingEntries),
                                       &MainWindow::act_menu_scaling);
    zoomActions_ = add_mode_entries(this, viewMenu_->addMenu(tr("Zoom")), VulkanWinRenderer::zoomLevelNames(),
                                    &MainWindow::act_menu_zoom);

    QAction* center = viewMenu_->addAction(tr("Center Video"));
    connect(center, &QAction::triggered, this, &MainWindow::act_menu_center_video);
    fullScreenAction_ = viewMenu_->addAction(tr("Enter Full Screen"));
    fullScreenAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(fullScreenAction_, &QAction::triggered, this, &MainWindow::act_menu_toggle_fullscreen);
}

void MainWindow::createHelpMenu() {
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    QAction* shortcuts = help->addAction(tr("Keyboard shortcuts..."));
    connect(shortcuts, &QAction::triggered, this, &MainWindow::act_keyboard_shortcuts);
}

void MainWindow::checkOnlyAction(const QList<QAction*>& actions, int index) {
    for (qsizetype i = 0; i < actions.size(); ++i) {
        actions[i]->setCheckable(true);
        actions[i]->setChecked(i == index);
    }
}

void MainWindow::refreshViewMenuActions() {
    VulkanWinRenderer* r = renderer();
    if (!r) return;
    const QList<std::pair<QAction*, bool>> guides = {{safeAreaAction_, settings_->isSafeAreaVisible()},
                                                     {videoAreaAction_, settings_->isVideoAreaVisible()},
                                                     {cropBoxAreaAction_, settings_->isDisplayWindowAreaVisible()}};
    for (const auto& [action, checked] : guides) {
        if (!action) continue;
        action->setCheckable(true);
        action->setChecked(checked);
    }
    // The raw modes: the renderer's sanitising getters renumber the background.
    checkOnlyAction(cropBoxModeActions_,
                    int(mode_or_default(r->cropBoxDisplayMode(), 2, "Unknown crop box display Mode : %1", 1)));
    checkOnlyAction(backgroundActions_, int(toBaseGpu2dCanvasBackgroundMode(r->backgroundModeRaw())));
    checkOnlyAction(alphaActions_, int(mode_or_default(r->alphaModeRaw(), 2, "Unknown Alpha Mode : %1", 0)));
    checkOnlyAction(channelActions_,
                    int(mode_or_default(r->channelMode(), 3, "Unknown BaseGpu2dCanvas_ChannelMode : %1", 0)));
    checkOnlyAction(scalingActions_, int(mode_or_default(r->scaleModeRaw(), 3, "Unknown scaling Mode : %1", 1)));
    checkOnlyAction(zoomActions_, r->zoomLevelIndex());
    if (cropBoxModeMenu_) cropBoxModeMenu_->setEnabled(movie_ && movie_->hasDisplayWindow());
}

void MainWindow::act_menu_bg(uint32_t index) {
    VulkanWinRenderer* r = renderer();
    if (!videoWindow_ || !r) return;
    index = display_mode_or_default(DisplayModeKind::Background, index, ModeLineTo::DebugLog);
    r->setBackgroundMode(toBaseGpu2dCanvasBackgroundMode(index));
    videoWindow_->requestUpdate();
    refreshMenuActions();
}

void MainWindow::act_menu_alpha_mode(uint32_t mode) {
    VulkanWinRenderer* r = renderer();
    if (!videoWindow_ || !r) return;
    r->setAlphaMode(display_mode_or_default(DisplayModeKind::Alpha, mode, ModeLineTo::DebugLog));
    videoWindow_->requestUpdate();
    refreshMenuActions();
}

void MainWindow::act_menu_channels(uint32_t mode) {
    VulkanWinRenderer* r = renderer();
    if (!videoWindow_ || !r) return;
    r->setChannelMode(display_mode_or_default(DisplayModeKind::Channels, mode, ModeLineTo::DebugLog));
    videoWindow_->requestUpdate();
    refreshMenuActions();
}

void MainWindow::act_menu_scaling(uint32_t mode) {
    VulkanWinRenderer* r = renderer();
    if (!videoWindow_ || !r) return;
    r->setScaleMode(display_mode_or_default(DisplayModeKind::Scaling, mode, ModeLineTo::DebugLog));
    videoWindow_->requestUpdate();
    refreshMenuActions();
}

void MainWindow::act_menu_cropbox_display_mode(uint32_t mode) {
    VulkanWinRenderer* r = renderer();
    if (!videoWindow_ || !r) return;
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
    const bool show = !settings_->isSafeAreaVisible();
    settings_->setSafeAreaVisible(show);
    if (VulkanWinRenderer* r = renderer()) r->setShowSafeArea(show);
    updateIfPaused();
    refreshMenuActions();
}

void MainWindow::act_menu_show_hide_video_area() {
    const bool show = !settings_->isVideoAreaVisible();
    settings_->setVideoAreaVisible(show);
    if (VulkanWinRenderer* r = renderer()) r->setShowVideoArea(show);
    updateIfPaused();
    refreshMenuActions();
}

void MainWindow::act_menu_show_hide_cropbox_display_area() {
    const bool show = !settings_->isDisplayWindowAreaVisible();
    settings_->setDisplayWindowAreaVisible(show);
    if (VulkanWinRenderer* r = renderer()) r->setShowCropBoxArea(show);
    updateIfPaused();
    refreshMenuActions();
}

void MainWindow::viewVideoRightClic(const QMouseEvent* event) {
    VulkanWinRenderer* r = renderer();
    if (!event || !r) return;
    QMenu menu(QStringLiteral("Context menu View Parameters"), this);
    ContextMenuEntries entries;
    entries.add(&menu, controlsShown_ ? QStringLiteral("Hide controls") : QStringLiteral("Show controls"),
                [this] { act_menu_show_hide_controls(); });

    QMenu* guides = menu.addMenu(QStringLiteral("Guides"));
    const QList<std::pair<QString, bool>> guideEntries = {
        {QStringLiteral("Safe Area"), settings_->isSafeAreaVisible()},
        {QStringLiteral("Video Area"), settings_->isVideoAreaVisible()},
        {QStringLiteral("Crop Box Display Window"), settings_->isDisplayWindowAreaVisible()}};
    const std::function<void()> guideRuns[] = {[this] { act_menu_show_hide_safe_area(); },
                                               [this] { act_menu_show_hide_video_area(); },
                                               [this] { act_menu_show_hide_cropbox_display_area(); }};
    for (qsizetype i = 0; i < guideEntries.size(); ++i) {
        QAction* action = entries.add(guides, guideEntries[i].first, guideRuns[i]);
        action->setCheckable(true);
        action->setChecked(guideEntries[i].second);
    }

    QMenu* cropBox = entries.addGroup(this, &menu, QStringLiteral("Crop Box Display Mode"),
                                      plain_labels(kCropBoxEntries), int(r->cropBoxDisplayMode()),
                                      &MainWindow::act_menu_cropbox_display_mode);
    cropBox->setEnabled(movie_ && movie_->hasDisplayWindow());
    entries.addGroup(this, &menu, QStringLiteral("Background"), plain_labels(kBackgroundEntries),
                     int(toBaseGpu2dCanvasBackgroundMode(r->backgroundModeRaw())), &MainWindow::act_menu_bg);
    entries.addGroup(this, &menu, QStringLiteral("Alpha Mode"), plain_labels(kAlphaEntries), int(r->alphaModeRaw()),
                     &MainWindow::act_menu_alpha_mode);
    entries.addGroup(this, &menu, QStringLiteral("Interpret Fps"), plain_labels(kFpsEntries),
                     movie_ ? int(movie_->fpsMode()) : 0, &MainWindow::act_menu_fps_mode);
    entries.addGroup(this, &menu, QStringLiteral("Channels"), plain_labels(kChannelEntries), int(r->channelMode()),
                     &MainWindow::act_menu_channels);
    entries.addGroup(this, &menu, QStringLiteral("Scaling Quality"), plain_labels(kScalingEntries),
                     int(r->scaleModeRaw()), &MainWindow::act_menu_scaling);
    entries.addGroup(this, &menu, QStringLiteral("Zoom"), VulkanWinRenderer::zoomLevelNames(), r->zoomLevelIndex(),
                     &MainWindow::act_menu_zoom);
    entries.add(&menu, QStringLiteral("Center video"), [this] { act_menu_center_video(); });

    entries.run(run_context_menu(&menu, event->globalPosition().toPoint()));
}

void MainWindow::act_about_menu() {
    if (!aboutDialog_) {
        aboutDialog_ = new DialogAbout(nullptr, tr("About Norvu HAP Player"),
                                       QStringLiteral(":/Rsc/RESSOURCES_UI/ICON_PLAYER.png"));
        BaseAboutSplash* splash = aboutDialog_->splash();
        splash->setVersion(tr("Version : %1").arg(QString::fromLatin1(kVersion)));
        splash->setTitle(tr("Norvu HAP Player"));
        splash->setLink(QString::fromLatin1(kWebPage));
    }
    aboutDialog_->show();
    aboutDialog_->activateWindow();
}

void MainWindow::act_keyboard_shortcuts() {
    if (!shortcutsWindow_) shortcutsWindow_ = new WindowShortcuts(nullptr);
    shortcutsWindow_->show();
    shortcutsWindow_->activateWindow();
}
