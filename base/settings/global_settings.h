#pragma once
// The player's preferences store: every preference in memory, kept in one XML file,
// "norvu_hap_player_prefs.xml", in the user's configuration folder (on Linux
// $XDG_CONFIG_HOME, else ~/.config). The main window owns the one store, loads it once
// at start and saves it when the preferences window closes, on Quit and on close.
// The windows read and write the members directly. The ways a window stores what the
// person set there (storeEdits, the switch setters) emit changed() when something
// changed, so that a window showing the store beside it can follow; the view modes the
// main window copies in directly are shown by no such window and say nothing.
// GUI thread only. Errors never throw out of load() or save(): they are logged and
// the values in memory stay.
#include <QColor>
#include <QObject>
#include <QSet>
#include <QString>
#include <cstdint>
#include <optional>

#include "base/settings/display_modes.h"  // the rule of the view_* modes, for their users too
#include "base/settings/panel_settings.h"
#include "base/settings/settings_dialog_benchmark.h"
#include "base/settings/setting_bool_state.h"

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

    // The named switches, kept as "ui_bool_setting" elements (key and default: the
    // switch table of settings_table.cpp).
    enum Switch : uint32_t {
        Switch_FileTestWarnChunks,         // the file test's "Warn inconsistent chunk count"
        Switch_AudioAnalyseUseInOutRange,  // the loudness analysis' "Use In/Out Range"
        Switch_SafeAreaVisible,
        Switch_WarnUnsupportedSoundCard,  // warn at start when the output device is not supported
        Switch_VideoAreaVisible,
        Switch_DisplayWindowAreaVisible,
        // Whether each page of the preferences window is open.
        Switch_PrefsPageUserInterface,
        Switch_PrefsPageWarning,
        Switch_PrefsPageImport,
        Switch_PrefsPagePlayback,
        Switch_PrefsPageSnapshot,
    };

    // The range an unsigned key's value must lie in when read from the file.
    struct Range {
        uint32_t min;
        uint32_t max;
    };

    // Every default of the key table; the benchmark mode 0; the switches that are set
    // at start (ui_file_test_warn_chunks_state, ui_audio_analyse_use_in_out_range and
    // ui_display_warn_unsupported_sound_card on, ui_safe_area_visible off); no window
    // records.
    explicit GlobalSettings(QObject* parent = nullptr);

    // A store that holds only the defaults: what the preference pages reset to, and what
    // a window given no store shows.
    static const GlobalSettings& defaults();
    // The range of an unsigned member as the file's reading checks it (0 to UINT32_MAX
    // for a member the table gives none).
    static Range rangeOf(uint32_t GlobalSettings::*member);
    // The file key of a "params" member ("snapshot_scale_width" for
    // &GlobalSettings::snapshot_scale_width), or empty for a member that has none.
    // Defined for the member types of the key table: bool, QColor, double, uint32_t,
    // QString.
    template <class T>
    static QString keyOf(T GlobalSettings::*member);

    // Reads the file when it exists. Bad values fall back one by one (logged); an XML
    // error logs "Error reading xml : ..." and keeps what was read before it.
    void load();
    // Why a save failed: the file (or the folder) that could not be written, and the
    // system's reason ("File too large", "Is a directory", ...).
    struct SaveFailure {
        QString path;
        QString reason;
    };
    // Writes the whole file atomically (made in memory, written to a temporary file
    // beside it, flushed, then renamed over it). False, with a log line ("Fail to
    // write pref file : <path> (<reason>)"), when the folder or the file cannot be
    // written; the old file then keeps its bytes and the values in memory stay. The
    // same path and reason go to `failure` when given, for a caller that shows them.
    // A path that leads (through links) to something other than a regular file is
    // never replaced.
    bool save(SaveFailure* failure = nullptr);
    // The file's path, or empty when the platform gives no configuration folder.
    static QString prefsFilePath();

    // "Codec HAP" for 'Hap1' ... "Codec HAPR" for 'Hap7' when that codec's import
    // warning is on; empty otherwise and for any other code.
    QString codecWarningText(uint32_t codec_4cc) const;

    bool boolSetting(const QString& key, bool default_value) const { return m_switches.value(key, default_value); }
    bool hasBoolSetting(const QString& key) const { return m_switches.contains(key); }
    // Emits changed() when the switch was not stored with this value.
    void setBoolSetting(bool value, const QString& key);

    // Stores here each "params" value and switch that `edited` holds differently
    // from `shown`, as `edited` holds it; every other value keeps what it has now.
    // For a window that loaded `shown` into its controls and read them back into
    // `edited`: its Save stores only what the person changed there, so a value
    // changed elsewhere while it was open (a menu, another window) is not put back
    // to what the window showed. The window records and the benchmark mode are not
    // compared. Emits changed() when a value changed here.
    void storeEdits(const GlobalSettings& shown, const GlobalSettings& edited);
    // For such a window while it stays open: each value here that differs from
    // `shown` was stored elsewhere since it was shown. `current` (the controls read
    // now) takes it where the person left that field alone: its key (keyOf, or a
    // switch's key) is not in `edited` and it still holds the `shown` value. `shown`
    // takes it in every case. So the window can show the new values, and a later
    // storeEdits(shown, current) stores each field that shows something other than
    // this store, also a value typed, chosen or reset there that equals the one shown
    // before, and leaves every other field to this store.
    void takeStoredChanges(GlobalSettings& shown, GlobalSettings& current, const QSet<QString>& edited) const;

    // A named switch: its key, its stored value (its default when not stored), a new
    // value (emits changed() as setBoolSetting does).
    static QString switchKey(Switch which);
    bool switchValue(Switch which) const;
    void setSwitch(Switch which, bool value);

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
    const PanelSettings* mainWinPanel() const { return m_main_win ? &*m_main_win : nullptr; }
    const PanelSettings* audioMetersPanel() const { return m_audio_meters ? &*m_audio_meters : nullptr; }
    const PanelSettings* audioMappingPanel() const { return m_audio_mapping ? &*m_audio_mapping : nullptr; }
    bool isAudioMetersPanelVisible() const { return m_audio_meters && m_audio_meters->is_visible; }
    bool isAudioMappingPanelVisible() const { return m_audio_mapping && m_audio_mapping->is_visible; }
    // A record made from the window replaces the previous one; null keeps it.
    void storeMainWinPanel(const QWindow* window);
    void storeAudioMetersPanel(const QWindow* window);
    void storeAudioMappingPanel(const QWindow* window);

    SettingsDialogBenchmark* benchmarkDialog() const { return m_benchmark; }

signals:
    // A window stored a value here (see above). Sent on the GUI thread, after the change.
    void changed();

public:

    // ---- The "params" keys, in the file's order; keys, defaults and the rules a
    // value read from the file must pass: the table of settings_table.cpp ----
    // Units of the file information: bits (else bytes), kiB (else kB).
    bool ui_bitrate_unit_bits;
    bool ui_bandwidth_gpu_unit_bits;
    bool ui_filesize_unit_ki;
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
    bool allow_hide_embed_audio_tracks;
    bool mute_embed_audio_tracks_when_adding_wav;
    bool hide_controls_in_full_screen;
    bool ui_remember_windows_view_settings;
    bool import_auto_load_wave_files;
    // Import warnings.
    bool warn_about_variable_fps;
    bool warn_about_unsupported_audio;
    bool warn_about_not_multiple_4;
    bool warn_about_codec_hap;
    bool warn_about_codec_hapa;
    bool warn_about_codec_hapq;
    bool warn_about_codec_hapqa;
    bool warn_about_codec_hapalphaonly;
    bool warn_about_codec_hapr;
    bool warn_about_high_bitrate;
    double warn_bitrate_limit;         // bits per second, always > 1
    uint32_t warn_high_bitrate_units;  // BitrateUnit
    // Playback and display.
    bool play_audio_frame_by_frame;
    bool view_show_controls;
    uint32_t view_bg_mode;               // BaseGpu2dCanvas_BackgroundMode (the renderer's numbering)
    uint32_t view_alpha_mode;            // BaseGpu2dCanvas_AlphaMode
    uint32_t view_channels;              // BaseGpu2dCanvas_ChannelMode
    uint32_t view_scaling_quality;       // BaseGpu2dCanvas_ScaleMode
    uint32_t view_cropbox_display_mode;  // 0 file, 1 in the display window
    uint32_t ui_timemode;                // UiTimemode
    bool play_loop;                      // PlayMode 1 when set
    // Snapshots (SnapshotFormat, SnapshotDstFolderMode, SnapshotScaleMode, pixels,
    // JPEG quality, SnapshotTimeMode). Checked when read like the others; their users
    // check them again, since the windows write them too.
    uint32_t snapshot_format;
    uint32_t snapshot_dst_folder_mode;
    QString snapshot_custom_folder_path;
    uint32_t snapshot_scale_mode;
    uint32_t snapshot_scale_width;
    uint32_t snapshot_scale_height;
    uint32_t snapshot_jpeg_qual;
    uint32_t snapshot_time_mode;

private:
    bool readFile(const QString& path);
    bool writeFile(const QString& path, SaveFailure* failure) const;
    void parseParams(const QXmlStreamAttributes& attributes);
    void parsePanel(const QXmlStreamAttributes& attributes);
    void parseDialogParams(const QXmlStreamAttributes& attributes);
    void validatePanels();

    std::optional<PanelSettings> m_main_win;
    std::optional<PanelSettings> m_audio_meters;
    std::optional<PanelSettings> m_audio_mapping;
    SettingsDialogBenchmark* m_benchmark;  // child
    SettingBoolState m_switches;
};
