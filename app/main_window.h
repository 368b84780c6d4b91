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
// only relays the library's device-change callback as a queued signal, and the probe
// of a lost output's server, whose answer comes back queued.
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
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <thread>
#include <vector>

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
class DialogSimpleMsg;
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
    FileToPlay* movie() const { return m_movie; }
    FrameCompressedBuffer* frameQueue() const { return m_frameQueue; }
    AllAudioSrcTracks* audioTracks() const { return m_tracks; }
    GlobalSettings* settings() const { return m_settings; }
    ViewBottomCtrl* bottomBar() const { return m_bottomCtrl; }
    ViewInfoError* messageView() const { return m_infoError; }
    VulkanWindow* videoWindow() const { return m_videoWindow.data(); }
    // The frame on screen: while the movie plays, the one the last present showed, which
    // a renderer behind the clock shows a while after it was handed over.
    uint32_t currentFrame() const { return m_shownFrame; }
    // The frame a tick (or a step or a seek) last handed to the renderer, which play
    // resumes from; on screen once the renderer's next present shows it.
    uint32_t handedFrame() const { return m_currentFrame; }
    // Ticks by which a play hands its frames ahead of the clock: the renderer's delay to
    // the screen in whole periods, 0 while it keeps up. A tick hands the frame of its
    // tick plus this.
    uint32_t ticksAhead() const { return m_ticksAhead; }
    int32_t playSpeed() const;
    bool isRendererReady() const { return m_rendererReady; }
    bool areControlsShown() const { return m_controlsShown; }
    bool isInformationShown() const { return m_informationShown; }
    bool isErrorShown() const { return m_errorShown; }
    QString pendingErrorTitle() const { return m_pendingErrorTitle; }
    const PlaybackClock* playbackClock() const { return m_clock.get(); }
    // The preferences window, null until the menu first opened it.
    DialogPrefs* prefsDialog() const { return m_prefsDialog; }
    // The file test and hardware information windows, null until first opened.
    DialogAnalyse* fileTestDialog() const { return m_fileTestDialog; }
    DialogAudioAnalyse* audioAnalyseDialog() const { return m_audioAnalyseDialog; }
    DialogBenchmark* benchmarkDialog() const { return m_benchmarkDialog; }
    DialogHardwareInformation* hardwareDialog() const { return m_hardwareDialog; }
    // The about and keyboard shortcuts windows, null until first opened.
    DialogAbout* aboutDialog() const { return m_aboutDialog; }
    WindowShortcuts* shortcutsWindow() const { return m_shortcutsWindow; }
    // The start-up warning about an unusable audio output device, null when none was shown.
    DialogWarningErr* warningDialog() const { return m_warningDialog; }
    // The message telling that the preferences window's Save could not write the
    // file, null until one was shown.
    DialogSimpleMsg* prefsSaveMessage() const { return m_prefsSaveMessage; }

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
    PanelAudioMeter* audioMeterPanel() const { return m_meterPanel; }
    PanelAudioMapping* audioMappingPanel() const { return m_mappingPanel; }
    // Null without an audio device context.
    AudioMonitor* audioMonitor() const { return m_monitor; }
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
    // The frame a present has just shown: the time display follows the screen.
    void viewVideoFramePresented(uint32_t frame);
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
    void act_event_audio_backend_lost(int error);
    void act_notif_end_audio_seek();
    void act_notif_output_stalled();
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
    // From a stopped queue: prefills and starts the read-ahead at `speed`, then the
    // sound and the playback clock together.
    void startPlayback(int32_t speed);
    void startRefreshTimer();
    void stopRefreshTimer();
    // The play position whose frame a tick hands over, or 0 when the picture holds.
    uint64_t pictureTick();
    // `frame` is on screen (or is once the renderer's present in hand comes): the frame
    // the time display shows.
    void setShownFrame(uint32_t frame);
    void stopPlayback() { setPlaySpeed(0); }
    void showFrame(uint32_t frame);
    void refreshInOutPoints(bool relayout);
    void updateAudioPlayRange();
    // Audio (main_window_audio.cpp).
    void restartAudioAt(bool preview);
    void restartAudioIfPlaying();  // at the picture's frame, when playing at a speed with sound
    void stopAudio();
    void startListenOutputDevice();
    void stopListenOutputDevice();
    OutputDeviceKey currentOutputDevice() const;
    static void onSoundIoDevicesChange(SoundIo* context);
    static void onSoundIoBackendDisconnect(SoundIo* context, int error);
    bool reconnectAudioBackend();
    bool connectLostBackend();
    // `answer` is the lost server's; `desktop` the sound server's, asked after a JACK
    // server that did not answer at the start turned out not to be there (else -1).
    void soundServerAnswered(int answer, int desktop);
    void retryLostOutputSoon();
    void retryLostOutput();
    // Logs why the lost output is still lost: when the reason changes, and every
    // kStillLostRepeatMs while it lasts (the output is tried every half second).
    void reportStillLost(const QString& why);
    // Joins the probes that answered.
    void pruneServerProbes();
    // Cuts the running probes' answers off and asks them to end: joined when they do
    // within a moment, else left to end by themselves.
    void endServerProbe();
    // The audio I/O context of the output (AudioMonitor::libraryContext), the window's
    // own without a monitor.
    SoundIo* outputContext() const;
    void rebuildAudioRouting();
    void createAudioPanels();
    void restoreAudioPanels();
    void applyAudioMappingSettings();
    void saveAudioPanelSettings();
    // Input (main_window_input.cpp).
    void updateCursor();
    void refreshViewSize();
    QPointF pointerInVideo() const;
    // The press of I or O this window's key handler received and not yet its release
    // (null for any other key).
    std::optional<Qt::KeyboardModifiers>* pointKeyPress(int key);
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
    // The click zone of the message box: its size, centred in the video area.
    void placeErrorOverlay();
    void refreshInformationOverlay();
    void showErrorOverlay(bool show);
    void stopMessageTimer();
    void updateIfPaused();
    void enterFullScreen();
    void exitFullScreen();
    void toggleFullScreen();
    void updateDpi();
    void applySettings(bool first);
    // Copies the display state into the store and writes the file. Empty when it was
    // written, else the text that tells the person which file and why (the store
    // has logged it).
    QString saveSettings();
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

    FileToPlay* m_movie = nullptr;
    SoundIoNotifier* m_notifier = nullptr;
    int32_t m_outputDeviceIndex = -1;
    QString m_initialFile;
    QString m_pendingErrorTitle;
    QString m_pendingErrorText;
    QVulkanInstance* m_instance = nullptr;
    QPointer<VulkanWindow> m_videoWindow;
    QWidget* m_videoContainer = nullptr;
    QList<MenuEntry> m_menuEntries;  // the menu bar's entries, re-checked by refreshMenuActions
    bool m_settingsApplied = false;
    bool m_rendererReady = false;
    // Set while Quit's QCoreApplication::quit() closes every window (it does so before
    // returning, on this thread): the panels' records Quit took stand meanwhile.
    bool m_quitClosingWindows = false;
    GlobalSettings* m_settings = nullptr;
    FrameCompressedBuffer* m_frameQueue = nullptr;
    ViewProgressBar* m_progressBar = nullptr;
    ViewBottomCtrl* m_bottomCtrl = nullptr;
    ViewInOutPoint* m_inOutPoint = nullptr;
    bool m_markersVisible = false;
    View_SimpleImage* m_logo = nullptr;
    ViewInfoError* m_infoError = nullptr;  // no parent: painted into the error overlay
    bool m_informationShown = false;
    QList<FileLinkInformationData*> m_informationZones;  // owned; the video window's zones
    bool m_errorShown = false;
    bool m_controlsShown = true;
    bool m_controlsHiddenByFullScreen = false;
    // The frame last handed to the renderer (what play resumes from), and the frame on
    // screen, which the time display shows.
    uint32_t m_currentFrame = 0;
    uint32_t m_shownFrame = 0;
    bool m_kHeld = false;
    // The modifiers held at the I and O presses that reached keyPressEvent, until their
    // releases; empty while the key is up or its press went elsewhere (a menu
    // shortcut, another window). Forgotten when the window loses the focus, whose
    // release then goes to the other window.
    std::optional<Qt::KeyboardModifiers> m_inKeyPress;
    std::optional<Qt::KeyboardModifiers> m_outKeyPress;
    std::unique_ptr<PlaybackClock> m_clock;
    // Ticks by which the play hands its frames ahead of the clock (the time frames take
    // to reach the screen), and the play position last handed over.
    uint32_t m_ticksAhead = 0;
    uint64_t m_lastPosition = 0;
    QTimer* m_seekPreviewTimer = nullptr;
    int32_t m_screenDpi = 96;
    QTimer* m_messageTimer = nullptr;
    DialogWarningErr* m_warningDialog = nullptr;
    DialogPrefs* m_prefsDialog = nullptr;                    // no parent: deleted by the destructor
    DialogSimpleMsg* m_prefsSaveMessage = nullptr;           // child, replaced at each failed Save
    DialogSnapshotParams* m_snapshotParamsDialog = nullptr;  // child, replaced at each use
    DialogAnalyse* m_fileTestDialog = nullptr;                // child, built once
    DialogAudioAnalyse* m_audioAnalyseDialog = nullptr;       // child, replaced at each use
    DialogBenchmark* m_benchmarkDialog = nullptr;             // child, replaced at each use
    DialogHardwareInformation* m_hardwareDialog = nullptr;    // no parent: deleted by the destructor
    SoundIo* m_soundio = nullptr;
    std::thread m_deviceListener;
    SoundIo* m_listenedContext = nullptr;  // the context the listener waits on
    std::atomic<bool> m_listenerStop{false};
    std::atomic<bool> m_listenerDone{true};  // the listener thread has left its loop
    bool m_listenerRunning = false;
    QTimer* m_listenerWakeTimer = nullptr;  // child: wakes a listener on a JACK server now and then
    // Asks a lost output's server whether it can play again, off the GUI thread (a
    // server may take the connection and never answer); its answer comes back queued
    // through the reply it shares with the window. The newest is last; older ones a
    // server still holds are left to answer when it lets them go.
    struct ProbeReply;
    struct ServerProbe {
        std::thread thread;
        std::shared_ptr<ProbeReply> reply;
        std::chrono::steady_clock::time_point started;
        bool givesUp = false;  // it ends soon once asked to (a sound server's, not JACK's)
    };
    std::vector<ServerProbe> m_serverProbes;
    // The last "still lost" reason told, and when: a lasting loss is told again only
    // now and then.
    QString m_stillLostReason;
    std::chrono::steady_clock::time_point m_stillLostToldAt;
    QTimer* m_outputRetryTimer = nullptr;  // child: tries a lost output again while playing
    bool m_firstDeviceChangeSeen = false;
    AudioMonitor* m_monitor = nullptr;
    AudioSrcBuffer* m_sourceBuffer = nullptr;
    AllAudioSrcTracks* m_tracks = nullptr;
    QByteArray m_outputDeviceId;
    PanelAudioMeter* m_meterPanel = nullptr;      // no parent: deleted by the destructor
    PanelAudioMapping* m_mappingPanel = nullptr;  // no parent: deleted by the destructor
    DialogAbout* m_aboutDialog = nullptr;          // no parent: deleted by the destructor
    WindowShortcuts* m_shortcutsWindow = nullptr;  // no parent: deleted by the destructor
};
