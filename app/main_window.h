#pragma once
// The player's main window: it owns the open movie, the frame queue, the audio engine
// objects, the preferences store and the views around the Vulkan video surface, and
// it turns the user's actions (transport bar, keys, mouse, drops, menus) into
// playback. Its behaviour is split by concern over several source files:
//   main_window.cpp            construction, renderer ready, close, quit, shutdown
//   main_window_transport.cpp  play speed, the playback clock, stepping, in/out points
//   main_window_import.cpp     opening movies and companion audio files
//   main_window_audio.cpp      starting and stopping sound, routing, device changes
//   main_window_input.cpp      keys, mouse on the video, drag and drop
//   main_window_layout.cpp     messages and overlays, layout, full screen, dpi, settings
//   main_window_actions.cpp    the action table: every menu entry and plain key, and its slot
//   main_window_menus.cpp      the menu bar and the video's context menu built from the table
//   main_window_view_menu.cpp  the display-mode and guide slots, the states the menus show, About
//   main_window_snapshot.cpp   the snapshot button and its context menu
//
// Everything here runs on the GUI thread, except the audio device listener, which
// only relays the library's device-change callback as a queued signal.
// Errors for the user go through displayErrorInfo (error overlay); engine exceptions
// never leave a slot.
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QPointF>
#include <QString>
#include <QByteArray>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <thread>

#include "app/main_window_actions.h"
#include "render/vulkan_window.h"  // QPointer needs the whole type

// The player's version, written once: the window titles and the about window show it.
#define NORVU_HAP_PLAYER_VERSION "2.1.1"

class AllAudioSrcTracks;
class AudioMonitor;
class AudioSrcBuffer;
class DialogAbout;
class DialogAnalyse;
class DialogAudioAnalyse;
class DialogBenchmark;
class DialogHardwareInformation;
class DialogPrefs;
class DialogSnapshotParams;
class DialogWarningErr;
class FileLinkInformationData;
class FileToPlay;
class FrameCompressedBuffer;
class GlobalSettings;
class PlaybackClock;
class QAction;
class QKeyEvent;
class QMenu;
class QMouseEvent;
class QScreen;
class QTimer;
class QVulkanInstance;
class QWheelEvent;
class PanelAudioMapping;
class PanelAudioMeter;
class SoundIoNotifier;
class ViewBottomCtrl;
class WindowShortcuts;
class ViewInfoError;
class ViewInOutPoint;
class ViewProgressBar;
class View_SimpleImage;
class VulkanWinRenderer;
struct SoundIo;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* kVersion = NORVU_HAP_PLAYER_VERSION;
    static constexpr const char* kTitle = "Norvu HAP Player " NORVU_HAP_PLAYER_VERSION;
    static constexpr const char* kTitleWithFile = "Norvu HAP Player : " NORVU_HAP_PLAYER_VERSION;

    // The window embeds `window` (not owned; main destroys it first) and opens
    // `initial_file` once the renderer is ready.
    MainWindow(VulkanWindow* window, QVulkanInstance* instance, const QString& initial_file);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Imports movies and audio files (see main_window_import.cpp).
    void loadFile(const QStringList& files, int32_t visible_index, bool startup);
    void setPlaySpeed(int32_t speed);
    void seekByFrames(int64_t delta);
    void refreshPauseFrame(uint32_t frame);
    void displayErrorInfo(const QString& title, const QString& text);
    void displayInfo(const QString& title, const QString& text);

    // State a test or a menu reads.
    FileToPlay* movie() const { return movie_; }
    FrameCompressedBuffer* frameQueue() const { return frameQueue_; }
    AllAudioSrcTracks* audioTracks() const { return tracks_; }
    GlobalSettings* settings() const { return settings_; }
    ViewBottomCtrl* bottomBar() const { return bottomCtrl_; }
    ViewInfoError* messageView() const { return infoError_; }
    VulkanWindow* videoWindow() const { return videoWindow_.data(); }
    uint32_t currentFrame() const { return currentFrame_; }
    int32_t playSpeed() const;
    bool isRendererReady() const { return rendererReady_; }
    bool areControlsShown() const { return controlsShown_; }
    bool isInformationShown() const { return informationShown_; }
    bool isErrorShown() const { return errorShown_; }
    QString pendingErrorTitle() const { return pendingErrorTitle_; }
    const PlaybackClock* playbackClock() const { return clock_.get(); }
    // The preferences window, null until the menu first opened it.
    DialogPrefs* prefsDialog() const { return prefsDialog_; }
    // The file test and hardware information windows, null until first opened.
    DialogAnalyse* fileTestDialog() const { return fileTestDialog_; }
    DialogAudioAnalyse* audioAnalyseDialog() const { return audioAnalyseDialog_; }
    DialogBenchmark* benchmarkDialog() const { return benchmarkDialog_; }
    DialogHardwareInformation* hardwareDialog() const { return hardwareDialog_; }
    // The about and keyboard shortcuts windows, null until first opened.
    DialogAbout* aboutDialog() const { return aboutDialog_; }
    WindowShortcuts* shortcutsWindow() const { return shortcutsWindow_; }
    // The start-up warning about an unusable audio output device, null when none was shown.
    DialogWarningErr* warningDialog() const { return warningDialog_; }

    // How the Open dialog asks for a file; replaceable so tests never wait on it.
    using OpenFileProvider = QString (*)(QWidget* parent);
    static OpenFileProvider setOpenFileProvider(OpenFileProvider provider);
    // How the audio start-up errors are shown (a modal critical box by default).
    using CriticalBoxProvider = void (*)(QWidget* parent, const QString& title, const QString& text);
    static CriticalBoxProvider setCriticalBoxProvider(CriticalBoxProvider provider);
    // How the audio I/O context is made (the library's soundio_create by default); a
    // provider returning null gives a window without sound, as a failed context does.
    using SoundIoFactory = SoundIo* (*)();
    static SoundIoFactory setSoundIoFactory(SoundIoFactory factory);
    // How a context menu is run at a global position (QMenu::exec by default): the
    // chosen action, or null. Replaceable so tests never wait on a menu.
    using MenuExecProvider = QAction* (*)(QMenu* menu, const QPoint& at);
    static MenuExecProvider setMenuExecProvider(MenuExecProvider provider);

    // The audio panels (created hidden with the window; null without a window).
    PanelAudioMeter* audioMeterPanel() const { return meterPanel_; }
    PanelAudioMapping* audioMappingPanel() const { return mappingPanel_; }
    // Null without an audio device context.
    AudioMonitor* audioMonitor() const { return monitor_; }
    // The system's default output device as the audio library lists it: a change is
    // a new id, whatever its index. Read on the GUI thread while no other thread is
    // inside the library's event handling; replaceable so tests can change devices.
    struct OutputDeviceKey {
        int32_t index = -1;
        QByteArray id;
    };
    using OutputDeviceReader = OutputDeviceKey (*)(SoundIo* context);
    static OutputDeviceReader setOutputDeviceReader(OutputDeviceReader reader);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;

public slots:
    // Transport bar.
    void viewControlsClicStart();
    void viewControlsClicGoToIn();
    void viewControlsClicEnd();
    void viewControlsClicGoToOut();
    void viewControlsClicPrevFrame();
    void viewControlsClicPrev10Frames();
    void viewControlsClicPrevSecond();
    void viewControlsClicNextFrame();
    void viewControlsClicNext10Frames();
    void viewControlsClicNextSecond();
    void viewControlsClicPlayReverse();
    void viewControlsClicPlay();
    void viewControlsClicPlayMode(uint32_t nMode);
    void viewControlsClicFullScreen();
    void viewControlsClicInformation();
    void viewControlsClicSetIn();
    void viewControlsClicSetOut();
    void viewControlsClicResetIn();
    void viewControlsClicResetOut();
    // Snapshot button and its context menu (main_window_snapshot.cpp).
    void viewControlsClicSnapshot();
    void viewControlsRightClicSnapshot(const QMouseEvent* event);
    void viewControlsSetNewTimeFrame(uint32_t nFrame);
    void viewControlsSetNewTimeFrameOffset(int64_t nFrameOffset);
    void viewControlsTimemodeChanged();
    void viewProgressClicProgress(uint32_t frameNum);
    void ViewInOutPointDelegate_SetIn(int32_t nPoint);
    void ViewInOutPointDelegate_SetOut(int32_t nPoint);
    // Video window.
    void viewVideoConnectEndInitRsc();
    void viewVideoDoubleClick();
    void viewVideoKeyPressEvent(QKeyEvent* event);
    void viewVideoKeyReleaseEvent(QKeyEvent* event);
    void viewVideoClicError();
    void viewVideoClicNameFile(QString filepath);
    void ViewVideo_MousePress(const QPointF& nMousePoint);
    void ViewVideo_MouseDragged(const QPointF& point);
    void ViewVideo_MouseRelease(const QPointF& point);
    void ViewVideo_MiddleMousePress(const QPointF& point);
    void ViewVideo_MiddleMouseDragged(const QPointF& point);
    void ViewVideo_MiddleMouseRelease(const QPointF& point);
    void viewVideoMouseScroll(QWheelEvent* event);
    // Timers and menus.
    void act_timer_refresh();
    void act_timer_hide_error_info();
    void act_open_menu();
    void act_quit_menu();
    void act_menu_show_hide_information();
    void act_menu_show_hide_controls();
    void act_menu_fps_mode(uint32_t mode);
    void act_menu_toggle_fullscreen();
    void screen_changed(QScreen* screen);
    // Audio.
    void act_notif_view_audio_gain_output_changed(float dbGainVal);
    void act_event_audio_out_changed();
    void act_notif_end_audio_seek();
    void act_timer_stop_after_seek();
    void viewVolumeGainChanged(float nGainDb);
    void viewVolumeMuted();
    void PanelAudioMap_MappingChange();
    void PanelAudioMap_LayoutChange(uint32_t nLayout);
    void PanelAudioMap_DeleteTrack(uint32_t visibleTrackIndex);
    void PanelAudioMap_DropFiles(QStringList arrayFilepath, int32_t IndexVisible);
    void act_notif_view_audio_mute_solo_changed();
    void act_menu_audio_meters();
    void act_menu_audio_mapping();
    // Preferences window and snapshot parameters (main_window_menus.cpp).
    void act_menu_prefs();
    void act_notif_close_prefs_panel();
    void act_context_menu_snapshot_params();
    // File test and hardware information (main_window_menus.cpp).
    void act_menu_file_test();
    void act_menu_audio_analyse();
    void act_menu_benchmark();
    void act_menu_hardware_info();
    // View menu entries, Help and About (main_window_view_menu.cpp); the video's
    // context menu, built from the action table (main_window_menus.cpp). Mode slots
    // take the menu index; an index out of range is logged and the mode's default used.
    void act_about_menu();
    void act_keyboard_shortcuts();
    void act_menu_bg(uint32_t index);
    void act_menu_alpha_mode(uint32_t mode);
    void act_menu_channels(uint32_t mode);
    void act_menu_scaling(uint32_t mode);
    void act_menu_cropbox_display_mode(uint32_t mode);
    void act_menu_zoom(uint32_t index);
    void act_menu_center_video();
    void act_menu_show_hide_safe_area();
    void act_menu_show_hide_video_area();
    void act_menu_show_hide_cropbox_display_area();
    void viewVideoRightClic(const QMouseEvent* event);

private:
    // Stops every running tool task and waits for it (main_window_import.cpp).
    void stopToolTasks();
    // Construction (main_window.cpp).
    void createUi();
    void buildAudio();
    // Transport (main_window_transport.cpp).
    void startRefreshTimer();
    void stopRefreshTimer();
    void stopPlayback() { setPlaySpeed(0); }
    void showFrame(uint32_t frame);
    void refreshInOutPoints(bool relayout);
    void updateAudioPlayRange();
    // Audio (main_window_audio.cpp).
    void restartAudioAt(bool preview);
    void stopAudio();
    void startListenOutputDevice();
    void stopListenOutputDevice();
    static void onSoundIoDevicesChange(SoundIo* context);
    void rebuildAudioRouting();
    void createAudioPanels();
    void restoreAudioPanels();
    void applyAudioMappingSettings();
    void saveAudioPanelSettings();
    // Input (main_window_input.cpp).
    void updateCursor();
    void refreshViewSize();
    QPointF pointerInVideo() const;
    // Key rows of the action table: J and L (with K held they step a frame), and the
    // zoom keys (each refreshes the view size and the menus).
    void shuttleForward();
    void shuttleReverse();
    void zoomInCentre();
    void zoomInAtPointer();
    void zoomOutCentre();
    void zoomOutAtPointer();
    void zoomToFit();
    void zoomView(const std::function<void(VulkanWinRenderer&)>& zoom);
    // Layout and overlays (main_window_layout.cpp).
    void layoutViews();
    void refreshErrorOverlay();
    void refreshInformationOverlay();
    void showErrorOverlay(bool show);
    void stopMessageTimer();
    void updateIfPaused();
    void enterFullScreen();
    void exitFullScreen();
    void toggleFullScreen();
    void updateDpi();
    void applySettings(bool first);
    void saveSettings();
    // Menus (main_window_menus.cpp), built from the action table. An entry as built
    // in a menu: its row, its action (a choice row: its submenu's action), and a
    // choice row's submenu and entries.
    struct MenuEntry {
        const MainWindowAction* row = nullptr;
        QAction* action = nullptr;
        QMenu* submenu = nullptr;
        QList<QAction*> choices;
    };
    void createMenus();
    // Adds the entries of `rows` to `menu`; consecutive rows of one submenu share it.
    QList<MenuEntry> addMenuEntries(QMenu* menu, const QList<const MainWindowAction*>& rows, ActionTexts texts);
    // Gives the entry the text, check marks and enabled state its row's states read now.
    void applyActionState(const MenuEntry& entry, ActionTexts texts) const;
    // Re-labels and re-checks every menu-bar entry (only while the renderer exists).
    void refreshMenuActions();
    // Re-checks the audio panel entries (with or without the renderer).
    void refreshAudioMenuActions();
    void uncheckMenuEntry(ActionState state);
    // Makes every entry checkable and checks only `index` (none when out of range).
    static void checkOnlyAction(const QList<QAction*>& actions, int index);
    // The state the menus show (main_window_view_menu.cpp): a flag as 0 or 1, a mode
    // as the entry to check (-1 without a renderer).
    int actionState(ActionState state) const;
    // The table names the private key targets.
    friend std::span<const MainWindowAction> mainWindowActions();

    VulkanWinRenderer* renderer() const;
    bool rendererHasResources() const;

    FileToPlay* movie_ = nullptr;
    SoundIoNotifier* notifier_ = nullptr;
    int32_t outputDeviceIndex_ = -1;
    QString initialFile_;
    QString pendingErrorTitle_;
    QString pendingErrorText_;
    QVulkanInstance* instance_ = nullptr;
    QPointer<VulkanWindow> videoWindow_;
    QWidget* videoContainer_ = nullptr;
    QList<MenuEntry> menuEntries_;  // the menu bar's entries, re-checked by refreshMenuActions
    bool settingsApplied_ = false;
    bool rendererReady_ = false;
    GlobalSettings* settings_ = nullptr;
    FrameCompressedBuffer* frameQueue_ = nullptr;
    ViewProgressBar* progressBar_ = nullptr;
    ViewBottomCtrl* bottomCtrl_ = nullptr;
    ViewInOutPoint* inOutPoint_ = nullptr;
    bool markersVisible_ = false;
    View_SimpleImage* logo_ = nullptr;
    ViewInfoError* infoError_ = nullptr;  // no parent: painted into the error overlay
    bool informationShown_ = false;
    QList<FileLinkInformationData*> informationZones_;  // owned; the video window's zones
    bool errorShown_ = false;
    bool controlsShown_ = true;
    bool controlsHiddenByFullScreen_ = false;
    uint32_t currentFrame_ = 0;
    bool kHeld_ = false;
    std::unique_ptr<PlaybackClock> clock_;
    QTimer* seekPreviewTimer_ = nullptr;
    int32_t screenDpi_ = 96;
    QTimer* messageTimer_ = nullptr;
    DialogWarningErr* warningDialog_ = nullptr;
    DialogPrefs* prefsDialog_ = nullptr;                    // no parent: deleted by the destructor
    DialogSnapshotParams* snapshotParamsDialog_ = nullptr;  // child, replaced at each use
    DialogAnalyse* fileTestDialog_ = nullptr;                // child, built once
    DialogAudioAnalyse* audioAnalyseDialog_ = nullptr;       // child, replaced at each use
    DialogBenchmark* benchmarkDialog_ = nullptr;             // child, replaced at each use
    DialogHardwareInformation* hardwareDialog_ = nullptr;    // no parent: deleted by the destructor
    SoundIo* soundio_ = nullptr;
    std::thread deviceListener_;
    std::atomic<bool> listenerStop_{false};
    bool listenerRunning_ = false;
    bool firstDeviceChangeSeen_ = false;
    AudioMonitor* monitor_ = nullptr;
    AudioSrcBuffer* sourceBuffer_ = nullptr;
    AllAudioSrcTracks* tracks_ = nullptr;
    QByteArray outputDeviceId_;
    PanelAudioMeter* meterPanel_ = nullptr;      // no parent: deleted by the destructor
    PanelAudioMapping* mappingPanel_ = nullptr;  // no parent: deleted by the destructor
    DialogAbout* aboutDialog_ = nullptr;          // no parent: deleted by the destructor
    WindowShortcuts* shortcutsWindow_ = nullptr;  // no parent: deleted by the destructor
};
