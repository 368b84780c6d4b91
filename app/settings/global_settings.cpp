#include "app/settings/global_settings.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QSaveFile>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <cmath>
#include <cstdio>
#include <exception>
#include <variant>

namespace {

const char kPrefsFileName[] = "norvu_hap_player_prefs.xml";
const char kSwitchFileTestWarnChunks[] = "ui_file_test_warn_chunks_state";
const char kSwitchAudioAnalyseInOut[] = "ui_audio_analyse_use_in_out_range";
const char kSwitchSafeArea[] = "ui_safe_area_visible";
const char kSwitchWarnSoundCard[] = "ui_display_warn_unsupported_sound_card";
const char kSwitchVideoArea[] = "ui_video_area_visible";
const char kSwitchDisplayWindowArea[] = "ui_display_window_area_visible";

// How an unsigned key treats what it reads: values up to `max` are taken; a text that
// is no number keeps the member (keep_on_fail) or gives `on_fail`; a larger number
// gives `on_over`, printing `message` (with the number) when there is one.
struct UnsignedRule {
    uint32_t max = UINT32_MAX;
    bool keep_on_fail = true;
    uint32_t on_fail = 0;
    uint32_t on_over = 0;
    const char* message = nullptr;
    bool negative_is_number = false;  // else a negative text fails to parse
};

using Member = std::variant<bool GlobalSettings::*, QColor GlobalSettings::*, double GlobalSettings::*,
                            uint32_t GlobalSettings::*, QString GlobalSettings::*>;

struct Param {
    const char* key;
    Member member;
    UnsignedRule rule = {};
};

UnsignedRule mode_rule(uint32_t max, uint32_t fallback, const char* message) {
    return UnsignedRule{max, false, fallback, fallback, message};
}

// Every "params" key, in the order of the file.
const std::vector<Param>& params_table() {
    using G = GlobalSettings;
    static const std::vector<Param> table = {
        {"ui_bitrate_unit_bits", &G::ui_bitrate_unit_bits},
        {"ui_bandwidth_gpu_unit_bits", &G::ui_bandwidth_gpu_unit_bits},
        {"ui_filesize_unit_ki", &G::ui_filesize_unit_ki},
        {"ui_col_safe_area_action", &G::ui_col_safe_area_action},
        {"ui_col_safe_area_title", &G::ui_col_safe_area_title},
        {"ui_col_video_area", &G::ui_col_video_area},
        {"ui_col_display_area", &G::ui_col_display_area},
        {"ui_letterbox_pillarbox_color", &G::ui_letterbox_pillarbox_color},
        {"ui_custom_bg_color", &G::ui_custom_bg_color},
        {"ui_custom_checkerboard_color_1", &G::ui_custom_checkerboard_color_1},
        {"ui_custom_checkerboard_color_2", &G::ui_custom_checkerboard_color_2},
        {"allow_hide_embed_audio_tracks", &G::allow_hide_embed_audio_tracks},
        {"mute_embed_audio_tracks_when_adding_wav", &G::mute_embed_audio_tracks_when_adding_wav},
        {"hide_controls_in_full_screen", &G::hide_controls_in_full_screen},
        {"ui_remember_windows_view_settings", &G::ui_remember_windows_view_settings},
        {"import_auto_load_wave_files", &G::import_auto_load_wave_files},
        {"warn_about_variable_fps", &G::warn_about_variable_fps},
        {"warn_about_unsupported_audio", &G::warn_about_unsupported_audio},
        {"warn_about_not_multiple_4", &G::warn_about_not_multiple_4},
        {"warn_about_codec_hap", &G::warn_about_codec_hap},
        {"warn_about_codec_hapa", &G::warn_about_codec_hapa},
        {"warn_about_codec_hapq", &G::warn_about_codec_hapq},
        {"warn_about_codec_hapqa", &G::warn_about_codec_hapqa},
        {"warn_about_codec_hapalphaonly", &G::warn_about_codec_hapalphaonly},
        {"warn_about_codec_hapr", &G::warn_about_codec_hapr},
        {"warn_about_high_bitrate", &G::warn_about_high_bitrate},
        {"warn_bitrate_limit", &G::warn_bitrate_limit},
        {"warn_high_bitrate_units", &G::warn_high_bitrate_units,
         UnsignedRule{3, true, 0, 3, "Invalid player high bitrate units : %lld\n", true}},
        {"play_audio_frame_by_frame", &G::play_audio_frame_by_frame},
        {"view_show_controls", &G::view_show_controls},
        {"view_bg_mode", &G::view_bg_mode,
         mode_rule(4, 0, "Unknown BaseGpu2dCanvas_BackgroundMode val : %lld (default Black)\n")},
        {"view_alpha_mode", &G::view_alpha_mode, mode_rule(1, 0, "Unknown alpha Mode val : %lld (default premult)\n")},
        {"view_channels", &G::view_channels,
         mode_rule(2, 0, "Unknown BaseGpu2dCanvas_ChannelMode val : %lld (default RGBA)\n")},
        {"view_scaling_quality", &G::view_scaling_quality,
         mode_rule(2, 1, "Unknown scaling Mode val : %lld (default bilinear)\n")},
        {"view_cropbox_display_mode", &G::view_cropbox_display_mode,
         mode_rule(1, 0, "Unknown crop box display Mode val : %lld (default video data)\n")},
        {"ui_timemode", &G::ui_timemode, mode_rule(3, 0, nullptr)},
        {"play_loop", &G::play_loop},
        {"snapshot_format", &G::snapshot_format},
        {"snapshot_dst_folder_mode", &G::snapshot_dst_folder_mode},
        {"snapshot_custom_folder_path", &G::snapshot_custom_folder_path},
        {"snapshot_scale_mode", &G::snapshot_scale_mode},
        {"snapshot_scale_width", &G::snapshot_scale_width},
        {"snapshot_scale_height", &G::snapshot_scale_height},
        {"snapshot_jpeg_qual", &G::snapshot_jpeg_qual},
        {"snapshot_time_mode", &G::snapshot_time_mode},
    };
    return table;
}

void console_line(const char* format, long long value) {
    std::printf(format, value);
    std::fflush(stdout);
}

uint32_t apply_unsigned_rule(const UnsignedRule& rule, QStringView text, uint32_t current) {
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (ok && !rule.negative_is_number && (value < 0 || value > qlonglong(UINT32_MAX))) ok = false;
    if (!ok) return rule.keep_on_fail ? current : rule.on_fail;
    if (value >= 0 && value <= qlonglong(rule.max)) return uint32_t(value);
    if (rule.message) console_line(rule.message, value);
    return rule.on_over;
}

// r, g and b must each be a decimal number up to 255; a missing, bad or too large a
// gives 255. Empty result when the colour cannot be read.
std::optional<QColor> parse_color(const QXmlStreamAttributes& attributes) {
    int rgb[3] = {};
    const char* names[3] = {"r", "g", "b"};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const uint value = attributes.value(names[i]).toUInt(&ok, 10);
        if (!ok || value > 255) {
            qDebug("ERREUR : Fail to parse RGB component :");
            return std::nullopt;
        }
        rgb[i] = int(value);
    }
    bool ok = false;
    const uint alpha = attributes.value("a").toUInt(&ok, 10);
    return QColor(rgb[0], rgb[1], rgb[2], ok && alpha <= 255 ? int(alpha) : 255);
}

const char* yes_no(bool value) { return value ? "YES" : "NO"; }

// The text without the characters XML 1.0 cannot hold (a control character in a
// folder name): the writer would refuse the whole file for one of them, and every
// later save with it.
QString xml_text(const QString& text) {
    QString kept;
    kept.reserve(text.size());
    bool dropped = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            kept += c;
            kept += text[++i];
        } else if (u == 0x9 || u == 0xA || u == 0xD || (u >= 0x20 && u <= 0xD7FF) || (u >= 0xE000 && u <= 0xFFFD)) {
            kept += c;
        } else {
            dropped = true;
        }
    }
    if (dropped) qDebug().noquote() << "Pref file : characters XML cannot hold left out of " + kept;
    return kept;
}

// Shortest text that reads back as the same double ("8e+09" for 8e9).
QString double_text(double value) { return QString::number(value, 'g', QLocale::FloatingPointShortest); }

}  // namespace

GlobalSettings::GlobalSettings(QObject* parent)
    : QObject(parent),
      ui_col_safe_area_action(255, 0, 0, 255),
      ui_col_safe_area_title(0, 255, 0, 255),
      ui_col_video_area(255, 255, 0, 255),
      ui_col_display_area(255, 0, 255, 255),
      ui_letterbox_pillarbox_color(0, 0, 0, 255),
      ui_custom_bg_color(27, 43, 54, 255),
      ui_custom_checkerboard_color_1(255, 255, 255, 255),
      ui_custom_checkerboard_color_2(228, 85, 87, 255),
      m_benchmark(new SettingsDialogBenchmark(this)) {
    m_switches.setValue(true, kSwitchFileTestWarnChunks);
    m_switches.setValue(true, kSwitchAudioAnalyseInOut);
    m_switches.setValue(false, kSwitchSafeArea);
    m_switches.setValue(true, kSwitchWarnSoundCard);
}

QString GlobalSettings::prefsFilePath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::ConfigLocation);
    if (folder.isEmpty()) return QString();
    return QDir::cleanPath(folder + QDir::separator() + kPrefsFileName);
}

void GlobalSettings::load() {
    try {
        const QString path = prefsFilePath();
        if (path.isEmpty()) return;
        const QFileInfo info(path);
        if (!info.exists() || !info.isFile()) return;  // first start: the defaults stay
        readFile(path);
    } catch (const std::exception& error) {
        qDebug().noquote() << "Error during pref load :" << error.what();
    } catch (...) {
        qDebug("Error during pref load :");
    }
}

bool GlobalSettings::readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug("Can't open pref file");
        return false;
    }
    QXmlStreamReader reader(&file);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) continue;
        const auto name = reader.name();
        const QXmlStreamAttributes attributes = reader.attributes();
        if (name == QLatin1String("params")) {
            parseParams(attributes);
        } else if (name == QLatin1String("dialog_params")) {
            parseDialogParams(attributes);
        } else if (name == QLatin1String("ui_bool_setting")) {
            m_switches.readXml(attributes);
        } else if (name == QLatin1String("panel")) {
            parsePanel(attributes);
        }
    }
    const bool failed = reader.hasError();
    if (failed) qDebug().noquote() << "Error reading xml : " + reader.errorString();
    // Also after an error: a record read from a cut-off file must not put a window
    // off every screen.
    validatePanels();
    return !failed;
}

void GlobalSettings::validatePanels() {
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (std::optional<PanelRecord>* record : {&m_main_win, &m_audio_meters, &m_audio_mapping}) {
        if (*record) (*record)->validateOnScreens(screens);
    }
}

void GlobalSettings::parseParams(const QXmlStreamAttributes& attributes) {
    const QString key = attributes.value("k").toString();
    if (key.isEmpty()) {
        qDebug("Invalid xml params (no key)");
        return;
    }
    const Param* param = nullptr;
    for (const Param& candidate : params_table()) {
        if (key == QLatin1String(candidate.key)) {
            param = &candidate;
            break;
        }
    }
    if (param && std::holds_alternative<QColor GlobalSettings::*>(param->member)) {
        if (const auto colour = parse_color(attributes)) this->*std::get<QColor GlobalSettings::*>(param->member) = *colour;
        return;
    }
    const QStringView text = attributes.value("v");
    if (text.isEmpty()) return;
    if (key == QLatin1String("file_test_warn_chunks")) {  // older form of the switch
        m_switches.setValue(text == QLatin1String("YES"), kSwitchFileTestWarnChunks);
        return;
    }
    if (!param) return;  // unknown keys are passed over
    std::visit(
        [&](auto member) {
            using T = std::remove_reference_t<decltype(this->*member)>;
            if constexpr (std::is_same_v<T, bool>) {
                this->*member = text == QLatin1String("YES");
            } else if constexpr (std::is_same_v<T, double>) {
                bool ok = false;
                const double value = text.toDouble(&ok);
                if (ok && std::isfinite(value) && value > 1.0) this->*member = value;
            } else if constexpr (std::is_same_v<T, uint32_t>) {
                this->*member = apply_unsigned_rule(param->rule, text, this->*member);
            } else if constexpr (std::is_same_v<T, QString>) {
                this->*member = text.toString();
            }
        },
        param->member);
}

void GlobalSettings::parsePanel(const QXmlStreamAttributes& attributes) {
    const QString name = attributes.value("name").toString();
    if (name.isEmpty()) return;
    const PanelRecord record = PanelRecord::fromAttributes(attributes);
    if (!record.valid) {
        qDebug("Fail to parse panel");
        return;
    }
    if (name == QLatin1String("main_win")) {
        m_main_win = record;
    } else if (name == QLatin1String("audio_meters")) {
        m_audio_meters = record;
    } else if (name == QLatin1String("audio_mapping")) {
        m_audio_mapping = record;
    } else {
        qDebug().noquote() << "Unknown panel name : " + name;
    }
}

void GlobalSettings::parseDialogParams(const QXmlStreamAttributes& attributes) {
    const QString dialog = attributes.value("d").toString();
    if (dialog.isEmpty()) {
        QStringList texts;
        for (const QXmlStreamAttribute& attribute : attributes)
            texts << attribute.name().toString() + "=" + attribute.value().toString();
        qDebug().noquote() << "Invalid dialog xml params (no dialog key) : " + texts.join(' ');
    } else if (dialog == QLatin1String("benchmark_dialog")) {
        m_benchmark->readXml(attributes);
    } else {
        qDebug().noquote() << "Unknown dialog key : " + dialog;
    }
}

bool GlobalSettings::save() {
    try {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::ConfigLocation);
        if (folder.isEmpty()) {
            qDebug("No configuration folder for the pref file");
            return false;
        }
        QDir dir(folder);
        if (!dir.exists() && !dir.mkpath(".")) {
            qDebug("Fail to create pref dir");
            return false;
        }
        return writeFile(prefsFilePath());
    } catch (const std::exception& error) {
        qDebug().noquote() << "Error during pref save :" << error.what();
        return false;
    } catch (...) {
        qDebug("Error during pref save :");
        return false;
    }
}

bool GlobalSettings::writeFile(const QString& path) const {
    // Written beside the old file and renamed over it once complete, so a crash or a
    // full disk never leaves a truncated file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qDebug().noquote() << "Fail to write pref file : " + path + " (" + file.errorString() + ")";
        return false;
    }
    QXmlStreamWriter writer(&file);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement("root");
    for (const Param& param : params_table()) {
        writer.writeEmptyElement("params");
        writer.writeAttribute("k", param.key);
        std::visit(
            [&](auto member) {
                const auto& value = this->*member;
                using T = std::remove_cvref_t<decltype(value)>;
                if constexpr (std::is_same_v<T, bool>) {
                    writer.writeAttribute("v", yes_no(value));
                } else if constexpr (std::is_same_v<T, QColor>) {
                    writer.writeAttribute("r", QString::number(value.red()));
                    writer.writeAttribute("g", QString::number(value.green()));
                    writer.writeAttribute("b", QString::number(value.blue()));
                    if (value.alpha() < 255) writer.writeAttribute("a", QString::number(value.alpha()));
                } else if constexpr (std::is_same_v<T, double>) {
                    writer.writeAttribute("v", double_text(value));
                } else if constexpr (std::is_same_v<T, uint32_t>) {
                    writer.writeAttribute("v", QString::number(value));
                } else {
                    writer.writeAttribute("v", xml_text(value));
                }
            },
            param.member);
    }
    const std::pair<const char*, const std::optional<PanelRecord>*> panels[] = {
        {"main_win", &m_main_win}, {"audio_meters", &m_audio_meters}, {"audio_mapping", &m_audio_mapping}};
    for (const auto& [name, record] : panels) {
        if (!*record) continue;
        writer.writeEmptyElement("panel");
        writer.writeAttribute("name", name);
        (*record)->writeXml(writer);
    }
    m_benchmark->writeXml(writer);
    m_switches.writeXml(writer);
    writer.writeEndElement();
    writer.writeEndDocument();
    if (writer.hasError() || !file.commit()) {
        qDebug().noquote() << "Fail to write pref file : " + path + " (" + file.errorString() + ")";
        return false;
    }
    return true;
}

QString GlobalSettings::codecWarningText(uint32_t codec_4cc) const {
    switch (codec_4cc) {
        case 0x48617031: return warn_about_codec_hap ? "Codec HAP" : QString();             // Hap1
        case 0x48617035: return warn_about_codec_hapa ? "Codec HAPA" : QString();           // Hap5
        case 0x48617059: return warn_about_codec_hapq ? "Codec HAPQ" : QString();           // HapY
        case 0x4861704D: return warn_about_codec_hapqa ? "Codec HAPQA" : QString();         // HapM
        case 0x48617041: return warn_about_codec_hapalphaonly ? "Codec HAP Alpha Only" : QString();  // HapA
        case 0x48617037: return warn_about_codec_hapr ? "Codec HAPR" : QString();           // Hap7
        default: return QString();
    }
}

bool GlobalSettings::isSafeAreaVisible() const { return m_switches.value(kSwitchSafeArea, false); }
void GlobalSettings::setSafeAreaVisible(bool visible) { m_switches.setValue(visible, kSwitchSafeArea); }
bool GlobalSettings::isVideoAreaVisible() const { return m_switches.value(kSwitchVideoArea, false); }
void GlobalSettings::setVideoAreaVisible(bool visible) { m_switches.setValue(visible, kSwitchVideoArea); }
bool GlobalSettings::isDisplayWindowAreaVisible() const { return m_switches.value(kSwitchDisplayWindowArea, false); }
void GlobalSettings::setDisplayWindowAreaVisible(bool visible) {
    m_switches.setValue(visible, kSwitchDisplayWindowArea);
}
bool GlobalSettings::isDisplayWarnUnsupportedSoundCard() const { return m_switches.value(kSwitchWarnSoundCard, true); }
void GlobalSettings::setDisplayWarnUnsupportedSoundCard(bool warn) { m_switches.setValue(warn, kSwitchWarnSoundCard); }

void GlobalSettings::storeMainWinPanel(const QWindow* window) {
    if (window) m_main_win = PanelRecord::fromWindow(*window);
}
void GlobalSettings::storeAudioMetersPanel(const QWindow* window) {
    if (window) m_audio_meters = PanelRecord::fromWindow(*window);
}
void GlobalSettings::storeAudioMappingPanel(const QWindow* window) {
    if (window) m_audio_mapping = PanelRecord::fromWindow(*window);
}
