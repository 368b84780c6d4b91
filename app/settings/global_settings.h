#pragma once
// The player's preferences store: every preference in memory, kept in one XML file,
// "norvu_hap_player_prefs.xml", in the user's configuration folder (on Linux
// $XDG_CONFIG_HOME, else ~/.config). The main window owns the one store, loads it once
// at start and saves it when the preferences window closes, on Quit and on close.
// The windows read and write the members directly; there is no change notification.
// GUI thread only. Errors never throw out of load() or save(): they are logged and
// the values in memory stay.
#include <QColor>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

#include "app/settings/panel_record.h"
#include "app/settings/settings_dialog_benchmark.h"
#include "app/settings/switch_store.h"

class QWindow;
class QXmlStreamAttributes;
class QXmlStreamWriter;

class GlobalSettings : public QObject {
    Q_OBJECT
public:
    // Unit of the high bit-rate limit shown in the preferences.
    enum BitrateUnit : uint32_t {
        BitrateUnit_Mbits = 0,   // "Mbits/s"
        BitrateUnit_Gbits = 1,   // "Gbits/s"
        BitrateUnit_MBytes = 2,  // "MBytes/s"
        BitrateUnit_GBytes = 3,  // "GBytes/s"
    };
    enum SnapshotFormat : uint32_t { SnapshotFormat_Jpeg = 0, SnapshotFormat_Png = 1 };
    enum SnapshotDstFolderMode : uint32_t {
        SnapshotDstFolder_Desktop = 0,
        SnapshotDstFolder_SameAsSource = 1,
        SnapshotDstFolder_Custom = 2,
    };
    enum SnapshotScaleMode : uint32_t {
        SnapshotScale_SameAsSource = 0,
        SnapshotScale_FitTo = 1,
        SnapshotScale_FitAndPad = 2,
    };
    // The time written in a snapshot's name; not the order of the time display's modes.
    enum SnapshotTimeMode : uint32_t {
        SnapshotTime_Frames = 1,
        SnapshotTime_HoursMinutesSecondsFrames = 2,
        SnapshotTime_HoursMinutesSecondsMillis = 3,
        SnapshotTime_Timecode = 4,
    };

    // Every default; the benchmark mode 0; the switches ui_file_test_warn_chunks_state,
    // ui_audio_analyse_use_in_out_range and ui_display_warn_unsupported_sound_card on,
    // ui_safe_area_visible off; no window records.
    explicit GlobalSettings(QObject* parent = nullptr);

    // Reads the file when it exists. Bad values fall back one by one (logged); an XML
    // error logs "Error reading xml : ..." and keeps what was read before it.
    void load();
    // Writes the whole file atomically (a temporary file renamed over it). False,
    // with a log line, when the folder or the file cannot be written.
    bool save();
    // The file's path, or empty when the platform gives no configuration folder.
    static QString prefsFilePath();

    // "Codec HAP" for 'Hap1' ... "Codec HAPR" for 'Hap7' when that codec's import
    // warning is on; empty otherwise and for any other code.
    QString codecWarningText(uint32_t codec_4cc) const;

    bool boolSetting(const QString& key, bool default_value) const { return m_switches.value(key, default_value); }
    bool hasBoolSetting(const QString& key) const { return m_switches.contains(key); }
    void setBoolSetting(bool value, const QString& key) { m_switches.setValue(value, key); }

    bool isSafeAreaVisible() const;
    void setSafeAreaVisible(bool visible);
    bool isVideoAreaVisible() const;
    void setVideoAreaVisible(bool visible);
    bool isDisplayWindowAreaVisible() const;
    void setDisplayWindowAreaVisible(bool visible);
    bool isDisplayWarnUnsupportedSoundCard() const;
    void setDisplayWarnUnsupportedSoundCard(bool warn);

    // The saved window records, or null when neither the file nor a window gave one.
    // A record read from the file whose geometry lies on no screen is not valid.
    const PanelRecord* mainWinPanel() const { return m_main_win ? &*m_main_win : nullptr; }
    const PanelRecord* audioMetersPanel() const { return m_audio_meters ? &*m_audio_meters : nullptr; }
    const PanelRecord* audioMappingPanel() const { return m_audio_mapping ? &*m_audio_mapping : nullptr; }
    bool isAudioMetersPanelVisible() const { return m_audio_meters && m_audio_meters->is_visible; }
    bool isAudioMappingPanelVisible() const { return m_audio_mapping && m_audio_mapping->is_visible; }
    // A record made from the window replaces the previous one; null keeps it.
    void storeMainWinPanel(const QWindow* window);
    void storeAudioMetersPanel(const QWindow* window);
    void storeAudioMappingPanel(const QWindow* window);

    SettingsDialogBenchmark* benchmarkDialog() const { return m_benchmark; }

    // ---- The "params" keys, in the file's order ----
    // Units of the file information: bits (else bytes), kiB (else kB).
    bool ui_bitrate_unit_bits = true;
    bool ui_bandwidth_gpu_unit_bits = true;
    bool ui_filesize_unit_ki = true;
    // Guides, in the order the renderer reads them: 5 % (action) safe area, 10 %
    // (title) safe area, video area, crop box (display area).
    QColor ui_col_safe_area_action;
    QColor ui_col_safe_area_title;
    QColor ui_col_video_area;
    QColor ui_col_display_area;
    // Canvas, in the order the renderer reads them: the clear colour around the
    // picture, the Custom Color background, the two Custom Checkerboard colours.
    QColor ui_letterbox_pillarbox_color;
    QColor ui_custom_bg_color;
    QColor ui_custom_checkerboard_color_1;
    QColor ui_custom_checkerboard_color_2;
    // Import and audio mapping.
    bool allow_hide_embed_audio_tracks = false;
    bool mute_embed_audio_tracks_when_adding_wav = false;
    bool hide_controls_in_full_screen = false;
    bool ui_remember_windows_view_settings = true;
    bool import_auto_load_wave_files = false;
    // Import warnings.
    bool warn_about_variable_fps = true;
    bool warn_about_unsupported_audio = true;
    bool warn_about_not_multiple_4 = false;
    bool warn_about_codec_hap = false;
    bool warn_about_codec_hapa = false;
    bool warn_about_codec_hapq = false;
    bool warn_about_codec_hapqa = false;
    bool warn_about_codec_hapalphaonly = false;
    bool warn_about_codec_hapr = false;
    bool warn_about_high_bitrate = false;
    double warn_bitrate_limit = 8e9;               // bits per second, always > 1
    uint32_t warn_high_bitrate_units = BitrateUnit_GBytes;  // BitrateUnit
    // Playback and display.
    bool play_audio_frame_by_frame = true;
    bool view_show_controls = true;
    uint32_t view_bg_mode = 0;               // BaseGpu2dCanvas_BackgroundMode 0..4
    uint32_t view_alpha_mode = 0;            // BaseGpu2dCanvas_AlphaMode 0..1
    uint32_t view_channels = 0;              // BaseGpu2dCanvas_ChannelMode 0..2
    uint32_t view_scaling_quality = 1;       // BaseGpu2dCanvas_ScaleMode 0..2
    uint32_t view_cropbox_display_mode = 0;  // 0 file, 1 in the display window
    uint32_t ui_timemode = 0;                // UiTimemode 0..3
    bool play_loop = false;                  // PlayMode 1 when set
    // Snapshots: stored as read; their users check the ranges.
    uint32_t snapshot_format = SnapshotFormat_Jpeg;
    uint32_t snapshot_dst_folder_mode = SnapshotDstFolder_Desktop;
    QString snapshot_custom_folder_path;
    uint32_t snapshot_scale_mode = SnapshotScale_SameAsSource;
    uint32_t snapshot_scale_width = 1920;
    uint32_t snapshot_scale_height = 1080;
    uint32_t snapshot_jpeg_qual = 90;
    uint32_t snapshot_time_mode = SnapshotTime_Frames;

private:
    bool readFile(const QString& path);
    bool writeFile(const QString& path) const;
    void parseParams(const QXmlStreamAttributes& attributes);
    void parsePanel(const QXmlStreamAttributes& attributes);
    void parseDialogParams(const QXmlStreamAttributes& attributes);
    void validatePanels();

    std::optional<PanelRecord> m_main_win;
    std::optional<PanelRecord> m_audio_meters;
    std::optional<PanelRecord> m_audio_mapping;
    SettingsDialogBenchmark* m_benchmark;  // child
    SwitchStore m_switches;
};
