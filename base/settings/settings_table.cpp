#include "base/settings/settings_table.h"

namespace {

using G = GlobalSettings;

template <class T, class D>
SettingParam param(const char* key, T G::*member, D fallback, SettingReadRule rule = {}) {
    return SettingParam{key, member, SettingValue(std::in_place_type<T>, fallback), rule};
}

// A display mode: its range, default and line come from the display-mode rule; a
// text that is no number gives the default.
SettingParam display_mode_param(const char* key, uint32_t G::*member, DisplayModeKind kind) {
    const DisplayModeRule& mode = display_mode_rule(kind);
    SettingReadRule rule;
    rule.max = mode.count - 1;
    rule.keep_on_fail = false;
    rule.display_mode = kind;
    return param(key, member, mode.fallback, rule);
}

// A snapshot number: kept as it is when no number, the default (logged) when out of
// range.
SettingReadRule snapshot_range(uint32_t min, uint32_t max) {
    SettingReadRule rule;
    rule.min = min;
    rule.max = max;
    rule.log_out_of_range = true;
    return rule;
}

// 0 to max, the default silently for any other text.
SettingReadRule silent_range(uint32_t max) {
    SettingReadRule rule;
    rule.max = max;
    rule.keep_on_fail = false;
    return rule;
}

// The bit-rate unit: kept when no number; any other number, negative ones too, prints
// its line and gives the default.
SettingReadRule bitrate_unit_rule() {
    SettingReadRule rule;
    rule.max = GlobalSettings::BitrateUnit_GBytes;
    rule.negative_is_number = true;
    rule.console_line = "Invalid player high bitrate units : %lld\n";
    return rule;
}

SettingReadRule greater_than(double limit) {
    SettingReadRule rule;
    rule.above = limit;
    return rule;
}

}  // namespace

const std::vector<SettingParam>& settings_params() {
    static const std::vector<SettingParam> table = {
        // Units of the file information: bits (else bytes), kiB (else kB).
        param("ui_bitrate_unit_bits", &G::ui_bitrate_unit_bits, true),
        param("ui_bandwidth_gpu_unit_bits", &G::ui_bandwidth_gpu_unit_bits, true),
        param("ui_filesize_unit_ki", &G::ui_filesize_unit_ki, true),
        // Guides and canvas colours.
        param("ui_col_safe_area_action", &G::ui_col_safe_area_action, QColor(255, 0, 0, 255)),
        param("ui_col_safe_area_title", &G::ui_col_safe_area_title, QColor(0, 255, 0, 255)),
        param("ui_col_video_area", &G::ui_col_video_area, QColor(255, 255, 0, 255)),
        param("ui_col_display_area", &G::ui_col_display_area, QColor(255, 0, 255, 255)),
        param("ui_letterbox_pillarbox_color", &G::ui_letterbox_pillarbox_color, QColor(0, 0, 0, 255)),
        param("ui_custom_bg_color", &G::ui_custom_bg_color, QColor(27, 43, 54, 255)),
        param("ui_custom_checkerboard_color_1", &G::ui_custom_checkerboard_color_1, QColor(255, 255, 255, 255)),
        param("ui_custom_checkerboard_color_2", &G::ui_custom_checkerboard_color_2, QColor(228, 85, 87, 255)),
        // Import and audio mapping.
        param("allow_hide_embed_audio_tracks", &G::allow_hide_embed_audio_tracks, false),
        param("mute_embed_audio_tracks_when_adding_wav", &G::mute_embed_audio_tracks_when_adding_wav, false),
        param("hide_controls_in_full_screen", &G::hide_controls_in_full_screen, false),
        param("ui_remember_windows_view_settings", &G::ui_remember_windows_view_settings, true),
        param("import_auto_load_wave_files", &G::import_auto_load_wave_files, false),
        // Import warnings.
        param("warn_about_variable_fps", &G::warn_about_variable_fps, true),
        param("warn_about_unsupported_audio", &G::warn_about_unsupported_audio, true),
        param("warn_about_not_multiple_4", &G::warn_about_not_multiple_4, false),
        param("warn_about_codec_hap", &G::warn_about_codec_hap, false),
        param("warn_about_codec_hapa", &G::warn_about_codec_hapa, false),
        param("warn_about_codec_hapq", &G::warn_about_codec_hapq, false),
        param("warn_about_codec_hapqa", &G::warn_about_codec_hapqa, false),
        param("warn_about_codec_hapalphaonly", &G::warn_about_codec_hapalphaonly, false),
        param("warn_about_codec_hapr", &G::warn_about_codec_hapr, false),
        param("warn_about_high_bitrate", &G::warn_about_high_bitrate, false),
        param("warn_bitrate_limit", &G::warn_bitrate_limit, 8e9, greater_than(1.0)),
        param("warn_high_bitrate_units", &G::warn_high_bitrate_units, G::BitrateUnit_GBytes,
              bitrate_unit_rule()),
        // Playback and display.
        param("play_audio_frame_by_frame", &G::play_audio_frame_by_frame, true),
        param("view_show_controls", &G::view_show_controls, true),
        display_mode_param("view_bg_mode", &G::view_bg_mode, DisplayModeKind::Background),
        display_mode_param("view_alpha_mode", &G::view_alpha_mode, DisplayModeKind::Alpha),
        display_mode_param("view_channels", &G::view_channels, DisplayModeKind::Channels),
        display_mode_param("view_scaling_quality", &G::view_scaling_quality, DisplayModeKind::Scaling),
        display_mode_param("view_cropbox_display_mode", &G::view_cropbox_display_mode, DisplayModeKind::CropBox),
        param("ui_timemode", &G::ui_timemode, 0u, silent_range(3)),  // UiTimemode
        param("play_loop", &G::play_loop, false),
        // Snapshots.
        param("snapshot_format", &G::snapshot_format, G::SnapshotFormat_Jpeg,
              snapshot_range(G::SnapshotFormat_Jpeg, G::SnapshotFormat_Png)),
        param("snapshot_dst_folder_mode", &G::snapshot_dst_folder_mode, G::SnapshotDstFolder_Desktop,
              snapshot_range(G::SnapshotDstFolder_Desktop, G::SnapshotDstFolder_Custom)),
        param("snapshot_custom_folder_path", &G::snapshot_custom_folder_path, QString()),
        param("snapshot_scale_mode", &G::snapshot_scale_mode, G::SnapshotScale_SameAsSource,
              snapshot_range(G::SnapshotScale_SameAsSource, G::SnapshotScale_FitAndPad)),
        param("snapshot_scale_width", &G::snapshot_scale_width, 1920u, snapshot_range(4, 65535)),
        param("snapshot_scale_height", &G::snapshot_scale_height, 1080u, snapshot_range(4, 65535)),
        param("snapshot_jpeg_qual", &G::snapshot_jpeg_qual, 90u, snapshot_range(1, 100)),  // 100 the best
        param("snapshot_time_mode", &G::snapshot_time_mode, G::SnapshotTime_Frames,
              snapshot_range(G::SnapshotTime_Frames, G::SnapshotTime_Timecode)),
    };
    return table;
}

const SettingParam* settings_param(QStringView key) {
    for (const SettingParam& row : settings_params())
        if (key == QLatin1String(row.key)) return &row;
    return nullptr;
}

const std::vector<SettingSwitch>& settings_switches() {
    // In the order of GlobalSettings::Switch.
    static const std::vector<SettingSwitch> table = {
        {"ui_file_test_warn_chunks_state", true, true, "file_test_warn_chunks"},
        {"ui_audio_analyse_use_in_out_range", true, true, nullptr},
        {"ui_safe_area_visible", false, false, nullptr},
        {"ui_display_warn_unsupported_sound_card", true, true, nullptr},
        {"ui_video_area_visible", std::nullopt, false, nullptr},
        {"ui_display_window_area_visible", std::nullopt, false, nullptr},
        // Open (YES) or closed pages of the preferences window; a page whose key is not
        // stored keeps the state it has.
        {"prefs_user_interface", std::nullopt, true, nullptr},
        {"prefs_warning", std::nullopt, true, nullptr},
        {"prefs_import", std::nullopt, true, nullptr},
        {"prefs_playback", std::nullopt, true, nullptr},
        {"prefs_snapshot", std::nullopt, true, nullptr},
    };
    return table;
}

const SettingSwitch& settings_switch(GlobalSettings::Switch which) { return settings_switches().at(which); }
