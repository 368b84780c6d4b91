#include "base/settings/global_settings.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocale>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <cmath>
#include <cstdio>
#include <exception>
#include <variant>

#include "base/settings/settings_table.h"
#include "platform/file_replace.h"

namespace {

const char kPrefsFileName[] = "norvu_hap_player_prefs.xml";

void console_line(const char* format, long long value) {
    std::printf(format, value);
    std::fflush(stdout);
}

// What an unsigned key takes from `text` (see SettingReadRule); `current` is the
// member's value, `fallback` its default.
uint32_t read_unsigned(const SettingParam& param, QStringView text, uint32_t current, uint32_t fallback) {
    const SettingReadRule& rule = param.rule;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (ok && !rule.negative_is_number && (value < 0 || value > qlonglong(UINT32_MAX))) ok = false;
    if (!ok) return rule.keep_on_fail ? current : fallback;
    if (rule.display_mode) return display_mode_or_default(*rule.display_mode, uint32_t(value), ModeLineTo::Console);
    if (value >= qlonglong(rule.min) && value <= qlonglong(rule.max)) return uint32_t(value);
    if (rule.console_line) console_line(rule.console_line, value);
    if (rule.log_out_of_range)
        qDebug().noquote() << QString("Invalid pref value : %1 = %2 (default %3)")
                                  .arg(QLatin1String(param.key))
                                  .arg(value)
                                  .arg(fallback);
    return fallback;
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

GlobalSettings::GlobalSettings(QObject* parent) : QObject(parent), m_benchmark(new SettingsDialogBenchmark(this)) {
    for (const SettingParam& param : settings_params()) {
        std::visit(
            [&](auto member) {
                using T = std::remove_reference_t<decltype(this->*member)>;
                this->*member = std::get<T>(param.fallback);
            },
            param.member);
    }
    for (const SettingSwitch& row : settings_switches())
        if (row.at_start) m_switches.setValue(*row.at_start, QString::fromLatin1(row.key));
}

const GlobalSettings& GlobalSettings::defaults() {
    static const GlobalSettings store;
    return store;
}

GlobalSettings::Range GlobalSettings::rangeOf(uint32_t GlobalSettings::*member) {
    for (const SettingParam& param : settings_params()) {
        const auto* unsigned_member = std::get_if<uint32_t GlobalSettings::*>(&param.member);
        if (unsigned_member && *unsigned_member == member) return Range{param.rule.min, param.rule.max};
    }
    return Range{0, UINT32_MAX};
}

template <class T>
QString GlobalSettings::keyOf(T GlobalSettings::*member) {
    for (const SettingParam& param : settings_params()) {
        const auto* typed = std::get_if<T GlobalSettings::*>(&param.member);
        if (typed && *typed == member) return QString::fromLatin1(param.key);
    }
    return QString();
}
template QString GlobalSettings::keyOf(bool GlobalSettings::*);
template QString GlobalSettings::keyOf(QColor GlobalSettings::*);
template QString GlobalSettings::keyOf(double GlobalSettings::*);
template QString GlobalSettings::keyOf(uint32_t GlobalSettings::*);
template QString GlobalSettings::keyOf(QString GlobalSettings::*);

QString GlobalSettings::switchKey(Switch which) { return QString::fromLatin1(settings_switch(which).key); }

bool GlobalSettings::switchValue(Switch which) const {
    const SettingSwitch& row = settings_switch(which);
    return m_switches.value(QString::fromLatin1(row.key), row.when_absent);
}

void GlobalSettings::setSwitch(Switch which, bool value) { setBoolSetting(value, switchKey(which)); }

void GlobalSettings::setBoolSetting(bool value, const QString& key) {
    if (m_switches.contains(key) && m_switches.value(key, value) == value) return;
    m_switches.setValue(value, key);
    emit changed();
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
    for (std::optional<PanelSettings>* record : {&m_main_win, &m_audio_meters, &m_audio_mapping}) {
        if (*record) (*record)->checkOnScreens(screens);
    }
}

void GlobalSettings::parseParams(const QXmlStreamAttributes& attributes) {
    const QString key = attributes.value("k").toString();
    if (key.isEmpty()) {
        qDebug("Invalid xml params (no key)");
        return;
    }
    const SettingParam* param = settings_param(key);
    if (param && std::holds_alternative<QColor GlobalSettings::*>(param->member)) {
        if (const auto colour = parse_color(attributes)) this->*std::get<QColor GlobalSettings::*>(param->member) = *colour;
        return;
    }
    const QStringView text = attributes.value("v");
    if (text.isEmpty()) return;
    if (!param) {
        // An older file may hold a switch as a "params" key; other unknown keys are
        // passed over.
        for (const SettingSwitch& row : settings_switches())
            if (row.older_param_key && key == QLatin1String(row.older_param_key))
                m_switches.setValue(text == QLatin1String("YES"), QString::fromLatin1(row.key));
        return;
    }
    std::visit(
        [&](auto member) {
            using T = std::remove_reference_t<decltype(this->*member)>;
            if constexpr (std::is_same_v<T, bool>) {
                this->*member = text == QLatin1String("YES");
            } else if constexpr (std::is_same_v<T, double>) {
                bool ok = false;
                const double value = text.toDouble(&ok);
                if (ok && std::isfinite(value) && value > param->rule.above) this->*member = value;
            } else if constexpr (std::is_same_v<T, uint32_t>) {
                this->*member = read_unsigned(*param, text, this->*member, std::get<uint32_t>(param->fallback));
            } else if constexpr (std::is_same_v<T, QString>) {
                this->*member = text.toString();
            }
        },
        param->member);
}

void GlobalSettings::parsePanel(const QXmlStreamAttributes& attributes) {
    const QString name = attributes.value("name").toString();
    if (name.isEmpty()) return;
    const PanelSettings record = PanelSettings::fromAttributes(attributes);
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

namespace {
// Logs the failure as every save has ("Fail to write pref file : <path> (<reason>)"
// for the file) and hands it to the caller that asked.
bool save_failed(GlobalSettings::SaveFailure* failure, const QString& log_line, const QString& path,
                 const QString& reason) {
    qDebug().noquote() << log_line;
    if (failure) *failure = GlobalSettings::SaveFailure{path, reason};
    return false;
}
}  // namespace

bool GlobalSettings::save(SaveFailure* failure) {
    try {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::ConfigLocation);
        if (folder.isEmpty())
            return save_failed(failure, "No configuration folder for the pref file", QString(),
                               "no configuration folder");
        QDir dir(folder);
        if (!dir.exists() && !dir.mkpath("."))
            return save_failed(failure, "Fail to create pref dir", folder, "the folder cannot be created");
        return writeFile(prefsFilePath(), failure);
    } catch (const std::exception& error) {
        return save_failed(failure, QString("Error during pref save : ") + error.what(), prefsFilePath(),
                           QString::fromLocal8Bit(error.what()));
    } catch (...) {
        return save_failed(failure, "Error during pref save :", prefsFilePath(), "unknown error");
    }
}

namespace {
// Whether two switch stores hold `key` alike (both without it, or both with one value).
bool same_switch(const SettingBoolState& a, const SettingBoolState& b, const QString& key) {
    return a.contains(key) == b.contains(key) && a.value(key, false) == b.value(key, false);
}
}  // namespace

void GlobalSettings::storeEdits(const GlobalSettings& shown, const GlobalSettings& edited) {
    bool stored = false;
    for (const SettingParam& param : settings_params()) {
        std::visit(
            [&](auto member) {
                if (edited.*member != shown.*member && this->*member != edited.*member) {
                    this->*member = edited.*member;
                    stored = true;
                }
            },
            param.member);
    }
    for (const QString& key : edited.m_switches.keys()) {
        const bool value = edited.m_switches.value(key, false);
        if (same_switch(shown.m_switches, edited.m_switches, key)) continue;
        if (m_switches.contains(key) && m_switches.value(key, false) == value) continue;
        m_switches.setValue(value, key);
        stored = true;
    }
    if (stored) emit changed();
}

void GlobalSettings::takeStoredChanges(GlobalSettings& shown, GlobalSettings& current,
                                       const QSet<QString>& edited) const {
    // A field the person edited keeps what it shows even when that equals what it
    // showed: equality alone cannot tell a value typed back from one left alone.
    for (const SettingParam& param : settings_params()) {
        std::visit(
            [&](auto member) {
                if (this->*member == shown.*member) return;
                if (!edited.contains(QString::fromLatin1(param.key)) && current.*member == shown.*member)
                    current.*member = this->*member;
                shown.*member = this->*member;
            },
            param.member);
    }
    for (const QString& key : m_switches.keys()) {
        if (same_switch(m_switches, shown.m_switches, key)) continue;
        const bool value = m_switches.value(key, false);
        if (!edited.contains(key) && same_switch(current.m_switches, shown.m_switches, key))
            current.m_switches.setValue(value, key);
        shown.m_switches.setValue(value, key);
    }
}

bool GlobalSettings::writeFile(const QString& path, SaveFailure* failure) const {
    // The whole document is made in memory first; only then is it written beside the
    // old file and renamed over it (platform/file_replace.h), so a crash, a full disk or
    // a file-size limit leaves the old file as it was, and a path leading to a device
    // or a FIFO is refused rather than replaced.
    QByteArray document;
    QXmlStreamWriter writer(&document);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement("root");
    for (const SettingParam& param : settings_params()) {
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
    const std::pair<const char*, const std::optional<PanelSettings>*> panels[] = {
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
    if (writer.hasError())
        return save_failed(failure, "Fail to write pref file : " + path + " (XML writer error)", path,
                           "XML writer error");
    const platform::FileReplaceResult written =
        platform::replace_file_utf8(path.toUtf8().constData(), document.constData(), std::size_t(document.size()));
    if (!written) {
        const QString reason = QString::fromStdString(written.message);
        return save_failed(failure, "Fail to write pref file : " + path + " (" + reason + ")", path, reason);
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

bool GlobalSettings::isSafeAreaVisible() const { return switchValue(Switch_SafeAreaVisible); }
void GlobalSettings::setSafeAreaVisible(bool visible) { setSwitch(Switch_SafeAreaVisible, visible); }
bool GlobalSettings::isVideoAreaVisible() const { return switchValue(Switch_VideoAreaVisible); }
void GlobalSettings::setVideoAreaVisible(bool visible) { setSwitch(Switch_VideoAreaVisible, visible); }
bool GlobalSettings::isDisplayWindowAreaVisible() const { return switchValue(Switch_DisplayWindowAreaVisible); }
void GlobalSettings::setDisplayWindowAreaVisible(bool visible) { setSwitch(Switch_DisplayWindowAreaVisible, visible); }
bool GlobalSettings::isDisplayWarnUnsupportedSoundCard() const { return switchValue(Switch_WarnUnsupportedSoundCard); }
void GlobalSettings::setDisplayWarnUnsupportedSoundCard(bool warn) { setSwitch(Switch_WarnUnsupportedSoundCard, warn); }

void GlobalSettings::storeMainWinPanel(const QWindow* window) {
    if (window) m_main_win = PanelSettings::fromWindow(*window);
}
void GlobalSettings::storeAudioMetersPanel(const QWindow* window) {
    if (window) m_audio_meters = PanelSettings::fromWindow(*window);
}
void GlobalSettings::storeAudioMappingPanel(const QWindow* window) {
    if (window) m_audio_mapping = PanelSettings::fromWindow(*window);
}
