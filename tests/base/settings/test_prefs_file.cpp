// The preferences file: what a first start writes, what a load and save keep, how bad
// values and damaged files fall back, and a save that cannot be finished (a full disk,
// a path linked to a FIFO) that loses nothing. The configuration folder is the test
// program's temporary home (widget_app), never the developer's.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>
#include <QXmlStreamReader>
#include <sys/stat.h>

#include <cstdio>

#include "base/settings/global_settings.h"
#include "log_capture.h"
#include "tests/support/file_size_limit.h"
#include "widget_app.h"

namespace {

struct Element {
    QString name;
    QXmlStreamAttributes attributes;
    QString value(const char* attribute) const { return attributes.value(attribute).toString(); }
    bool has(const char* attribute) const { return attributes.hasAttribute(attribute); }
};

QByteArray read_file(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write_file(const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(GlobalSettings::prefsFilePath()).path());
    QFile file(GlobalSettings::prefsFilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// The empty elements under the root, in file order.
std::vector<Element> saved_elements() {
    std::vector<Element> elements;
    QXmlStreamReader reader(read_file(GlobalSettings::prefsFilePath()));
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() != QLatin1String("root"))
            elements.push_back({reader.name().toString(), reader.attributes()});
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return elements;
}

const Element* find_param(const std::vector<Element>& elements, const QString& key) {
    for (const Element& element : elements)
        if (element.name == "params" && element.value("k") == key) return &element;
    return nullptr;
}

QByteArray prefs_with(const QByteArray& body) { return "<?xml version=\"1.0\"?>\n<root>\n" + body + "\n</root>\n"; }

class PrefsFile : public ::testing::Test {
protected:
    void SetUp() override {
        widget_app();
        QFile::remove(GlobalSettings::prefsFilePath());
    }
    // Loads `body` inside a root element into a fresh store; returns the console text.
    std::string loadBody(GlobalSettings& settings, const QByteArray& body) {
        write_file(prefs_with(body));
        testing::internal::CaptureStdout();
        settings.load();
        std::fflush(stdout);
        return testing::internal::GetCapturedStdout();
    }
};

const QStringList kParamKeys = {
    "ui_bitrate_unit_bits", "ui_bandwidth_gpu_unit_bits", "ui_filesize_unit_ki", "ui_col_safe_area_action",
    "ui_col_safe_area_title", "ui_col_video_area", "ui_col_display_area", "ui_letterbox_pillarbox_color",
    "ui_custom_bg_color", "ui_custom_checkerboard_color_1", "ui_custom_checkerboard_color_2",
    "allow_hide_embed_audio_tracks", "mute_embed_audio_tracks_when_adding_wav", "hide_controls_in_full_screen",
    "ui_remember_windows_view_settings", "import_auto_load_wave_files", "warn_about_variable_fps",
    "warn_about_unsupported_audio", "warn_about_not_multiple_4", "warn_about_codec_hap", "warn_about_codec_hapa",
    "warn_about_codec_hapq", "warn_about_codec_hapqa", "warn_about_codec_hapalphaonly", "warn_about_codec_hapr",
    "warn_about_high_bitrate", "warn_bitrate_limit", "warn_high_bitrate_units", "play_audio_frame_by_frame",
    "view_show_controls", "view_bg_mode", "view_alpha_mode", "view_channels", "view_scaling_quality",
    "view_cropbox_display_mode", "ui_timemode", "play_loop", "snapshot_format", "snapshot_dst_folder_mode",
    "snapshot_custom_folder_path", "snapshot_scale_mode", "snapshot_scale_width", "snapshot_scale_height",
    "snapshot_jpeg_qual", "snapshot_time_mode"};

}  // namespace

TEST_F(PrefsFile, FirstStartWritesEveryDefaultInOrder) {
    GlobalSettings settings;
    settings.load();  // no file: silent, defaults
    EXPECT_FALSE(settings.isVideoAreaVisible());
    EXPECT_TRUE(settings.isDisplayWarnUnsupportedSoundCard());
    ASSERT_TRUE(settings.save());
    EXPECT_TRUE(GlobalSettings::prefsFilePath().startsWith(widget_test_home()));
    EXPECT_TRUE(GlobalSettings::prefsFilePath().endsWith("/.config/norvu_hap_player_prefs.xml"));

    const std::vector<Element> elements = saved_elements();
    QStringList keys, switches, others;
    for (const Element& element : elements) {
        if (element.name == "params") keys << element.value("k");
        else if (element.name == "ui_bool_setting") switches << element.value("k") + "=" + element.value("v");
        else others << element.name;
    }
    EXPECT_EQ(keys, kParamKeys);
    EXPECT_EQ(switches, QStringList({"ui_audio_analyse_use_in_out_range=YES",
                                     "ui_display_warn_unsupported_sound_card=YES",
                                     "ui_file_test_warn_chunks_state=YES", "ui_safe_area_visible=NO"}));
    EXPECT_EQ(others, QStringList({"dialog_params"}));  // no panel yet
    const Element& dialog = *std::find_if(elements.begin(), elements.end(),
                                          [](const Element& e) { return e.name == "dialog_params"; });
    EXPECT_EQ(dialog.value("d") + dialog.value("k") + dialog.value("v"), "benchmark_dialogui_mode0");

    struct Expected {
        const char* key;
        const char* v;
    } values[] = {{"ui_bitrate_unit_bits", "YES"},      {"warn_about_not_multiple_4", "NO"},
                  {"warn_bitrate_limit", "8e+09"},      {"warn_high_bitrate_units", "3"},
                  {"view_scaling_quality", "1"},        {"snapshot_custom_folder_path", ""},
                  {"snapshot_scale_width", "1920"},     {"snapshot_jpeg_qual", "90"},
                  {"snapshot_time_mode", "1"},          {"play_loop", "NO"}};
    for (const Expected& row : values) EXPECT_EQ(find_param(elements, row.key)->value("v"), row.v) << row.key;
    const Element* colour = find_param(elements, "ui_custom_checkerboard_color_2");
    EXPECT_EQ(colour->value("r") + "," + colour->value("g") + "," + colour->value("b"), "228,85,87");
    EXPECT_FALSE(colour->has("a"));
    EXPECT_FALSE(read_file(GlobalSettings::prefsFilePath()).contains("file_test_warn_chunks\""));
}

TEST_F(PrefsFile, LoadThenSaveChangesNothing) {
    // A store with a changed value in every kind of key, the window records and odd
    // text; its file must come back byte for byte.
    GlobalSettings first;
    first.ui_filesize_unit_ki = false;
    first.ui_custom_bg_color = QColor(1, 2, 3, 128);
    first.warn_bitrate_limit = 1234567890.0;
    first.warn_high_bitrate_units = GlobalSettings::BitrateUnit_MBytes;
    first.view_bg_mode = 4;
    first.ui_timemode = 2;
    first.play_loop = true;
    first.snapshot_custom_folder_path = "/tmp/a <b> & \"c\" é";
    first.snapshot_scale_width = 77;
    first.benchmarkDialog()->ui_mode = SettingsDialogBenchmark::UiMode_Expert;
    first.setVideoAreaVisible(true);
    first.setBoolSetting(false, "B");
    QWindow window;
    window.setGeometry(10, 20, 300, 200);
    first.storeMainWinPanel(&window);
    first.storeAudioMappingPanel(nullptr);  // no window: no record
    ASSERT_TRUE(first.save());
    const QByteArray written = read_file(GlobalSettings::prefsFilePath());

    GlobalSettings second;
    second.load();
    EXPECT_DOUBLE_EQ(second.warn_bitrate_limit, 1234567890.0);
    EXPECT_EQ(second.ui_custom_bg_color, QColor(1, 2, 3, 128));
    EXPECT_EQ(second.snapshot_custom_folder_path, first.snapshot_custom_folder_path);
    EXPECT_EQ(second.benchmarkDialog()->ui_mode, 2u);
    EXPECT_TRUE(second.isVideoAreaVisible());
    ASSERT_NE(second.mainWinPanel(), nullptr);
    EXPECT_EQ(second.mainWinPanel()->geometry(), QRect(10, 20, 300, 200));
    EXPECT_EQ(second.audioMappingPanel(), nullptr);
    ASSERT_TRUE(second.save());
    EXPECT_EQ(read_file(GlobalSettings::prefsFilePath()), written);
    EXPECT_TRUE(written.contains("k=\"warn_bitrate_limit\" v=\"1234567890\""));
    EXPECT_TRUE(written.contains("<panel name=\"main_win\" is_visible=\"NO\" is_full_screen=\"NO\" x=\"10\" y=\"20\""));
}

TEST_F(PrefsFile, BadValuesFallBackWithTheirConsoleLine) {
    struct Row {
        const char* body;
        uint32_t GlobalSettings::*member;
        uint32_t start;
        uint32_t expected;
        const char* console;
    } rows[] = {
        {R"(<params k="view_bg_mode" v="7"/>)", &GlobalSettings::view_bg_mode, 3, 0,
         "Unknown BaseGpu2dCanvas_BackgroundMode val : 7 (default Black)\n"},
        {R"(<params k="view_bg_mode" v="x"/>)", &GlobalSettings::view_bg_mode, 3, 0, ""},
        {R"(<params k="view_bg_mode" v="4"/>)", &GlobalSettings::view_bg_mode, 0, 4, ""},
        {R"(<params k="view_alpha_mode" v="2"/>)", &GlobalSettings::view_alpha_mode, 1, 0,
         "Unknown alpha Mode val : 2 (default premult)\n"},
        {R"(<params k="view_channels" v="3"/>)", &GlobalSettings::view_channels, 1, 0,
         "Unknown BaseGpu2dCanvas_ChannelMode val : 3 (default RGBA)\n"},
        {R"(<params k="view_scaling_quality" v="abc"/>)", &GlobalSettings::view_scaling_quality, 0, 1, ""},
        {R"(<params k="view_scaling_quality" v="5"/>)", &GlobalSettings::view_scaling_quality, 0, 1,
         "Unknown scaling Mode val : 5 (default bilinear)\n"},
        {R"(<params k="view_cropbox_display_mode" v="2"/>)", &GlobalSettings::view_cropbox_display_mode, 1, 0,
         "Unknown crop box display Mode val : 2 (default video data)\n"},
        {R"(<params k="ui_timemode" v="9"/>)", &GlobalSettings::ui_timemode, 2, 0, ""},
        {R"(<params k="warn_high_bitrate_units" v="9"/>)", &GlobalSettings::warn_high_bitrate_units, 0, 3,
         "Invalid player high bitrate units : 9\n"},
        {R"(<params k="warn_high_bitrate_units" v="-1"/>)", &GlobalSettings::warn_high_bitrate_units, 0, 3,
         "Invalid player high bitrate units : -1\n"},
        {R"(<params k="warn_high_bitrate_units" v="lots"/>)", &GlobalSettings::warn_high_bitrate_units, 1, 1, ""},
        // Snapshot values out of their range give the default; a text that is no
        // number keeps the value.
        {R"(<params k="snapshot_jpeg_qual" v="500"/>)", &GlobalSettings::snapshot_jpeg_qual, 50, 90, ""},
        {R"(<params k="snapshot_jpeg_qual" v="0"/>)", &GlobalSettings::snapshot_jpeg_qual, 50, 90, ""},
        {R"(<params k="snapshot_jpeg_qual" v="100"/>)", &GlobalSettings::snapshot_jpeg_qual, 50, 100, ""},
        {R"(<params k="snapshot_jpeg_qual" v="good"/>)", &GlobalSettings::snapshot_jpeg_qual, 50, 50, ""},
        {R"(<params k="snapshot_time_mode" v="-2"/>)", &GlobalSettings::snapshot_time_mode, 3, 3, ""},
        {R"(<params k="snapshot_time_mode" v="0"/>)", &GlobalSettings::snapshot_time_mode, 3, 1, ""},
        {R"(<params k="snapshot_time_mode" v="4"/>)", &GlobalSettings::snapshot_time_mode, 1, 4, ""},
        {R"(<params k="snapshot_time_mode" v="5"/>)", &GlobalSettings::snapshot_time_mode, 3, 1, ""},
        {R"(<params k="snapshot_format" v="2"/>)", &GlobalSettings::snapshot_format, 1, 0, ""},
        {R"(<params k="snapshot_dst_folder_mode" v="3"/>)", &GlobalSettings::snapshot_dst_folder_mode, 2, 0, ""},
        {R"(<params k="snapshot_scale_mode" v="3"/>)", &GlobalSettings::snapshot_scale_mode, 2, 0, ""},
        {R"(<params k="snapshot_scale_width" v="3"/>)", &GlobalSettings::snapshot_scale_width, 77, 1920, ""},
        {R"(<params k="snapshot_scale_width" v="4"/>)", &GlobalSettings::snapshot_scale_width, 77, 4, ""},
        {R"(<params k="snapshot_scale_height" v="65535"/>)", &GlobalSettings::snapshot_scale_height, 77, 65535, ""},
        {R"(<params k="snapshot_scale_height" v="65536"/>)", &GlobalSettings::snapshot_scale_height, 77, 1080, ""},
        {R"(<params k="no_such_key" v="1"/><other k="view_bg_mode" v="2"/>)", &GlobalSettings::view_bg_mode, 3, 3,
         ""},
    };
    for (const Row& row : rows) {
        GlobalSettings settings;
        settings.*row.member = row.start;
        EXPECT_EQ(loadBody(settings, row.body), row.console) << row.body;
        EXPECT_EQ(settings.*row.member, row.expected) << row.body;
    }

    // A snapshot value put back to its default says so in the log.
    GlobalSettings settings;
    LogCapture log;
    loadBody(settings, R"(<params k="snapshot_scale_width" v="70000"/>)");
    EXPECT_TRUE(log.contains("Invalid pref value : snapshot_scale_width = 70000 (default 1920)"))
        << log.joined().toStdString();
}

TEST_F(PrefsFile, BooleansTextsAndTheBitRateLimit) {
    GlobalSettings settings;
    settings.play_loop = true;
    loadBody(settings, R"(<params k="play_loop" v=""/><params k="ui_remember_windows_view_settings" v="yes"/>
        <params k="snapshot_custom_folder_path" v=""/><params k="warn_bitrate_limit" v="1"/>)");
    EXPECT_TRUE(settings.play_loop);  // empty v: unchanged
    EXPECT_FALSE(settings.ui_remember_windows_view_settings);  // only "YES" is true
    EXPECT_EQ(settings.warn_bitrate_limit, 8e9);

    for (const char* ignored : {"0.5", "nan", "inf", "-3e9", "fast"}) {
        GlobalSettings other;
        loadBody(other, QByteArray("<params k=\"warn_bitrate_limit\" v=\"") + ignored + "\"/>");
        EXPECT_EQ(other.warn_bitrate_limit, 8e9) << ignored;
    }
    GlobalSettings taken;
    loadBody(taken, R"(<params k="warn_bitrate_limit" v="2.5e9"/>)");
    EXPECT_EQ(taken.warn_bitrate_limit, 2.5e9);

    // The older switch form sets the new one, and is never written back.
    GlobalSettings legacy;
    loadBody(legacy, R"(<params k="file_test_warn_chunks" v="NO"/>)");
    EXPECT_FALSE(legacy.boolSetting("ui_file_test_warn_chunks_state", true));
    ASSERT_TRUE(legacy.save());
    for (const Element& element : saved_elements()) EXPECT_NE(element.value("k"), "file_test_warn_chunks");
    EXPECT_TRUE(read_file(GlobalSettings::prefsFilePath())
                    .contains("<ui_bool_setting k=\"ui_file_test_warn_chunks_state\" v=\"NO\"/>"));
}

TEST_F(PrefsFile, ColoursKeepTheirAlphaAndRefuseBadComponents) {
    GlobalSettings settings;
    LogCapture log;
    loadBody(settings, R"(<params k="ui_custom_bg_color" r="1" g="2" b="3" a="128"/>
        <params k="ui_col_video_area" r="1" g="2" b="3" a="255"/>
        <params k="ui_col_display_area" r="9" g="9" b="9" a="300"/>
        <params k="ui_col_safe_area_action" r="256" g="0" b="0"/>
        <params k="ui_col_safe_area_title" r="1" b="0"/>)");
    EXPECT_EQ(settings.ui_custom_bg_color, QColor(1, 2, 3, 128));
    EXPECT_EQ(settings.ui_col_video_area, QColor(1, 2, 3, 255));
    EXPECT_EQ(settings.ui_col_display_area, QColor(9, 9, 9, 255));
    EXPECT_EQ(settings.ui_col_safe_area_action, QColor(255, 0, 0, 255));  // unchanged
    EXPECT_EQ(settings.ui_col_safe_area_title, QColor(0, 255, 0, 255));   // unchanged
    EXPECT_EQ(log.all().count("ERREUR : Fail to parse RGB component :"), 2);

    ASSERT_TRUE(settings.save());
    const std::vector<Element> elements = saved_elements();
    EXPECT_EQ(find_param(elements, "ui_custom_bg_color")->value("a"), "128");
    EXPECT_FALSE(find_param(elements, "ui_col_video_area")->has("a"));
}

TEST_F(PrefsFile, SwitchesDialogAndPanelSettingss) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    GlobalSettings settings;
    LogCapture log;
    const std::string console = loadBody(settings, QString(R"(
        <ui_bool_setting k="ui_safe_area_visible" v="YES"/>
        <ui_bool_setting k="ui_video_area_visible" v="yes"/>
        <ui_bool_setting k="ui_display_window_area_visible"/>
        <dialog_params d="benchmark_dialog" k="ui_mode" v="7"/>
        <dialog_params k="ui_mode" v="1"/>
        <dialog_params d="other_dialog" k="ui_mode" v="1"/>
        <panel name="main_win" is_visible="YES" is_full_screen="NO" x="5000" y="0" w="100" h="100"/>
        <panel name="audio_meters" is_visible="YES" is_full_screen="NO" x="%1" y="%2" w="50" h="40"/>
        <panel name="audio_mapping" is_visible="YES" x="10" y="abc" w="50" h="40"/>
        <panel name="toolbox" is_visible="YES" x="1" y="1" w="5" h="5"/>)")
                                                           .arg(screen.x())
                                                           .arg(screen.y())
                                                           .toUtf8());
    EXPECT_TRUE(settings.isSafeAreaVisible());
    EXPECT_FALSE(settings.isVideoAreaVisible());
    EXPECT_FALSE(settings.hasBoolSetting("ui_display_window_area_visible"));
    EXPECT_EQ(settings.benchmarkDialog()->ui_mode, 0u);
    EXPECT_EQ(console, "Invalid player benchmark ui mode mode : 7\n");
    for (const char* line : {"Invalid XML Attribute for SettingBoolState", "Invalid dialog xml params (no dialog key) : ",
                             "Unknown dialog key : other_dialog", "Error coord y", "Fail to parse panel",
                             "Unknown panel name : toolbox"})
        EXPECT_TRUE(log.contains(line)) << line << "\n" << log.joined().toStdString();

    ASSERT_NE(settings.mainWinPanel(), nullptr);
    EXPECT_FALSE(settings.mainWinPanel()->valid);  // off every screen
    ASSERT_NE(settings.audioMetersPanel(), nullptr);
    EXPECT_TRUE(settings.audioMetersPanel()->valid);
    EXPECT_TRUE(settings.isAudioMetersPanelVisible());
    EXPECT_EQ(settings.audioMappingPanel(), nullptr);  // unreadable: discarded
    EXPECT_FALSE(settings.isAudioMappingPanelVisible());
}

TEST_F(PrefsFile, DamagedFilesKeepDefaultsAndLogTheReaderError) {
    const QByteArray cases[] = {
        QByteArray(),                                                   // empty
        QByteArray("\x00\xff\x13\x88 binary \x01\x02", 14),              // binary
        "<root><params k=\"view_bg_mode\" v=\"2\"/></rot>",              // mismatched tag
        "<?xml version=\"1.0\"?><root><params k=\"play_loop\" v=\"YES\"/><params k=\"ui_time",  // cut off
    };
    for (const QByteArray& bytes : cases) {
        write_file(bytes);
        GlobalSettings settings;
        LogCapture log;
        settings.load();
        EXPECT_TRUE(log.contains("Error reading xml : ")) << bytes.toStdString();
        EXPECT_EQ(settings.ui_timemode, 0u);
        EXPECT_EQ(settings.warn_bitrate_limit, 8e9);
        EXPECT_TRUE(settings.save());  // and the next save writes a sound file
        EXPECT_EQ(saved_elements().size(), 45u + 1u + 4u);
    }
    // What was read before the error stays.
    write_file("<root><params k=\"play_loop\" v=\"YES\"/><params k=\"ui_time");
    GlobalSettings partial;
    partial.load();
    EXPECT_TRUE(partial.play_loop);
}

TEST_F(PrefsFile, CutOffFileNeverRestoresAWindowOffScreen) {
    write_file("<root><panel name=\"main_win\" is_visible=\"YES\" is_full_screen=\"NO\" x=\"5000\" y=\"5000\" "
               "w=\"640\" h=\"480\"/><params k=\"play_lo");
    GlobalSettings settings;
    settings.load();
    ASSERT_NE(settings.mainWinPanel(), nullptr);
    EXPECT_FALSE(settings.mainWinPanel()->valid);
}

TEST_F(PrefsFile, FailedSaveIsReportedAndLeavesTheOldFile) {
    GlobalSettings settings;
    ASSERT_TRUE(settings.save());
    const QByteArray before = read_file(GlobalSettings::prefsFilePath());

    // The configuration folder cannot be made: its place is taken by a file.
    const QByteArray config_home = qgetenv("XDG_CONFIG_HOME");
    const QString blocker = widget_test_home() + "/not_a_folder";
    QFile(blocker).open(QIODevice::WriteOnly);
    qputenv("XDG_CONFIG_HOME", (blocker + "/cfg").toUtf8());
    {
        LogCapture log;
        EXPECT_FALSE(settings.save());
        EXPECT_TRUE(log.contains("Fail to create pref dir")) << log.joined().toStdString();
    }
    qputenv("XDG_CONFIG_HOME", config_home);

    // The file's place is taken by a folder: nothing is written over it.
    const QString other_home = widget_test_home() + "/other_config";
    QDir().mkpath(other_home + "/norvu_hap_player_prefs.xml");
    qputenv("XDG_CONFIG_HOME", other_home.toUtf8());
    {
        LogCapture log;
        settings.play_loop = true;
        EXPECT_FALSE(settings.save());
        EXPECT_TRUE(log.contains("Fail to write pref file : ")) << log.joined().toStdString();
        settings.load();  // a folder is not read either
        EXPECT_TRUE(settings.play_loop);
    }
    qputenv("XDG_CONFIG_HOME", config_home);
    EXPECT_EQ(read_file(GlobalSettings::prefsFilePath()), before);
}

// A full disk (a file-size limit smaller than the new file): the save fails, says so,
// and the old file keeps every byte, so the next start still has the settings.
TEST_F(PrefsFile, SaveCutOffByAFullDiskKeepsTheOldFileByteForByte) {
    GlobalSettings settings;
    settings.play_loop = true;
    ASSERT_TRUE(settings.save());
    const QString path = GlobalSettings::prefsFilePath();
    const QByteArray before = read_file(path);
    ASSERT_GT(before.size(), 1024);

    settings.play_loop = false;
    settings.snapshot_custom_folder_path = "/media/another/folder";
    {
        LogCapture log;
        testsupport::FileSizeLimit full(1024);
        ASSERT_TRUE(full.armed());
        EXPECT_FALSE(settings.save());
        EXPECT_TRUE(log.contains("Fail to write pref file : " + path + " (")) << log.joined().toStdString();
    }
    EXPECT_EQ(read_file(path), before);
    const QStringList left = QDir(QFileInfo(path).path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, QStringList{"norvu_hap_player_prefs.xml"});
    GlobalSettings reread;
    reread.load();
    EXPECT_TRUE(reread.play_loop);

    ASSERT_TRUE(settings.save());  // room again
    reread.load();
    EXPECT_FALSE(reread.play_loop);
}

// The preferences path as a link: to a FIFO (in the test's own folder) it is refused and
// stays a FIFO; to a regular file it stays a link and the file gets the settings.
TEST_F(PrefsFile, LinkedPrefsPathKeepsItsFifoOrUpdatesItsFile) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray config_home = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    const QString path = GlobalSettings::prefsFilePath();
    ASSERT_EQ(QFileInfo(path).path(), home.path());
    const QByteArray fifo = home.filePath("prefs.fifo").toUtf8();
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    ASSERT_TRUE(QFile::link("prefs.fifo", path));

    GlobalSettings settings;
    settings.play_loop = true;
    {
        LogCapture log;
        settings.load();  // nothing to read, and no wait on the FIFO
        EXPECT_FALSE(settings.save());
        EXPECT_TRUE(log.contains("Fail to write pref file : " + path + " (")) << log.joined().toStdString();
    }
    struct stat info {};
    ASSERT_EQ(lstat(fifo.constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(QFileInfo(path).symLinkTarget(), QString::fromUtf8(fifo));

    ASSERT_TRUE(QDir(home.path()).mkpath("real"));
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::link("real/prefs.xml", path));
    {
        QFile real(home.filePath("real/prefs.xml"));
        ASSERT_TRUE(real.open(QIODevice::WriteOnly));
        real.write(prefs_with("<params k=\"play_loop\" v=\"NO\"/>"));
    }
    EXPECT_TRUE(settings.save());
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    GlobalSettings reread;
    reread.load();
    EXPECT_TRUE(reread.play_loop);
    EXPECT_EQ(QDir(home.filePath("real")).entryList(QDir::Files | QDir::Hidden), QStringList{"prefs.xml"});
    qputenv("XDG_CONFIG_HOME", config_home);
}

TEST_F(PrefsFile, ACharacterXmlCannotHoldDoesNotStopTheSave) {
    GlobalSettings settings;
    settings.snapshot_custom_folder_path = QString("/media/a\x01" "b\x1f/c\u00e9\U0001F3AC");
    settings.play_loop = true;
    LogCapture log;
    ASSERT_TRUE(settings.save());
    EXPECT_TRUE(log.contains(QString("characters XML cannot hold left out of /media/ab/c\u00e9\U0001F3AC")));
    GlobalSettings reread;
    reread.load();
    EXPECT_TRUE(reread.play_loop);
    EXPECT_EQ(reread.snapshot_custom_folder_path, QString("/media/ab/c\u00e9\U0001F3AC"));  // accents and emoji kept
}

TEST_F(PrefsFile, CodecWarningTextFollowsItsSwitch) {
    GlobalSettings settings;
    const uint32_t hap1 = 0x48617031, hapm = 0x4861704D, hap7 = 0x48617037;
    EXPECT_EQ(settings.codecWarningText(hap1), "");
    settings.warn_about_codec_hap = true;
    settings.warn_about_codec_hapqa = true;
    EXPECT_EQ(settings.codecWarningText(hap1), "Codec HAP");
    EXPECT_EQ(settings.codecWarningText(hapm), "Codec HAPQA");
    EXPECT_EQ(settings.codecWarningText(hap7), "");
    EXPECT_EQ(settings.codecWarningText(0x61766331), "");  // avc1
}
