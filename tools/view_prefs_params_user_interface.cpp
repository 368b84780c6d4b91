#include "tools/view_prefs_params_user_interface.h"

#include <QDebug>

#include "base/settings/global_settings.h"
#include "ui/view_checkbox.h"
#include "ui/view_combobox2.h"
#include "ui/view_label.h"
#include "ui/view_params_color.h"

namespace {

// The unit switches of the store, in row order; index 0 of each combo box is YES.
struct UnitRow {
    const char* name;
    const char* tooltip;
    const char* first;
    const char* second;
    bool GlobalSettings::*key;
};
const UnitRow kUnitRows[] = {
    {"Bitrate unit", "Set unit of bitrate for file information", "bits", "Bytes", &GlobalSettings::ui_bitrate_unit_bits},
    {"Bandwidth unit", "Set unit of gpu bandwidth for file information", "bits", "Bytes",
     &GlobalSettings::ui_bandwidth_gpu_unit_bits},
    {"Filesize unit", "Set unit of filesize for file information", "ki", "ko", &GlobalSettings::ui_filesize_unit_ki},
};

// The colour rows; the checkerboard row holds two swatches.
struct ColorRow {
    const char* name;
    const char* tooltip;
    QColor GlobalSettings::*keys[2];
};
const ColorRow kColorRows[] = {
    {"Safe area action", "Color used for action safe area guide", {&GlobalSettings::ui_col_safe_area_action, nullptr}},
    {"Safe area title", "Color used for title safe area guide", {&GlobalSettings::ui_col_safe_area_title, nullptr}},
    {"Guide video area", "Color used for video area guide", {&GlobalSettings::ui_col_video_area, nullptr}},
    {"Guide display area",
     "Color used for display area guide, when previewing file with Crop Box Metadata in display window mode",
     {&GlobalSettings::ui_col_display_area, nullptr}},
    {"Letterbox/Pillarbox", "Color used outside the video (used in display only, not in snapshot)",
     {&GlobalSettings::ui_letterbox_pillarbox_color, nullptr}},
    {"Custom background", "Background color used when choosing 'Custom color'",
     {&GlobalSettings::ui_custom_bg_color, nullptr}},
    {"Custom checkboard", "Background color used when choosing 'Custom checkerboard'",
     {&GlobalSettings::ui_custom_checkerboard_color_1, &GlobalSettings::ui_custom_checkerboard_color_2}},
};

// The store member of every swatch, in swatch order.
QList<QColor GlobalSettings::*> color_keys() {
    QList<QColor GlobalSettings::*> keys;
    for (const ColorRow& row : kColorRows)
        for (QColor GlobalSettings::*key : row.keys)
            if (key) keys.append(key);
    return keys;
}

constexpr int kRowStep = 30;
constexpr int kSwatchWidth = 50;

}  // namespace

ViewPrefsParamsUserInterface::ViewPrefsParamsUserInterface(QWidget* parent, const QRect& geometry)
    : ViewClosableParams(parent, geometry, QStringLiteral("User Interface")) {
    setContentHeight(435);
    QWidget* box = content();
    for (const UnitRow& row : kUnitRows) {
        ViewLabel* name = prefs_row_label(box, QString::fromLatin1(row.name));
        ViewCombobox2* combo = prefs_combo(box, {QString::fromLatin1(row.first), QString::fromLatin1(row.second)},
                                           GlobalSettings::defaults().*row.key ? 0 : 1);
        setToolTipAll(QString::fromLatin1(row.tooltip), {name, combo});
        m_edits.watch(combo, &ViewCombobox2::ViewCombobox2_ValueChanged, {GlobalSettings::keyOf(row.key)});
        m_rowNames.append(name);
        m_units.append(combo);
    }
    const GlobalSettings& defaults = GlobalSettings::defaults();
    for (const ColorRow& row : kColorRows) {
        ViewLabel* name = prefs_row_label(box, QString::fromLatin1(row.name));
        name->setToolTip(QString::fromLatin1(row.tooltip));
        m_rowNames.append(name);
        for (QColor GlobalSettings::*key : row.keys) {
            if (!key) continue;
            auto* swatch = new ViewParamsColor(box, QRect(0, 0, kSwatchWidth, 25));
            swatch->setDefaultColor(defaults.*key);
            swatch->setColor(defaults.*key);
            swatch->setToolTip(QString::fromLatin1(row.tooltip));
            m_edits.watch(swatch, &ViewParamsColor::ViewParamsColor_ValueChanged, {GlobalSettings::keyOf(key)});
            m_colors.append(swatch);
        }
    }
    m_switches.create(
        box, {prefs_switch(QStringLiteral("Allow hide embedded audio tracks"),
                           QStringLiteral("If checked, embeded audio tracks can be hidden in audio mapping panel"),
                           &GlobalSettings::allow_hide_embed_audio_tracks),
              prefs_switch(QStringLiteral("Hide controls in fullscreen"), QString(),
                           &GlobalSettings::hide_controls_in_full_screen),
              prefs_switch(QStringLiteral("Remember view params"),
                           QStringLiteral("If checked, last view params and window position is set at startup"),
                           &GlobalSettings::ui_remember_windows_view_settings),
              PrefsSwitch{QStringLiteral("Display warning for unsupported audio output device"),
                          QStringLiteral("If checked and default audio sound card is not supported, display warning "
                                         "when app starts."),
                          GlobalSettings::switchKey(GlobalSettings::Switch_WarnUnsupportedSoundCard),
                          [](const GlobalSettings& s) { return s.isDisplayWarnUnsupportedSoundCard(); },
                          [](GlobalSettings& s, bool on) { s.setDisplayWarnUnsupportedSoundCard(on); }}},
        m_edits);
    m_switches.load(defaults);
    ViewPrefsParamsUserInterface::updateLayout();
}

void ViewPrefsParamsUserInterface::loadFromSettings(const GlobalSettings* settings, const GlobalSettings* showing) {
    if (!settings) {
        qDebug("Error : no settings to load");
        return;
    }
    for (int i = 0; i < m_units.size(); ++i) {
        const bool GlobalSettings::*key = kUnitRows[i].key;
        if (!showing || showing->*key != settings->*key) m_units[i]->setCurrentIndex(settings->*key ? 0 : 1);
    }
    const QList<QColor GlobalSettings::*> keys = color_keys();
    for (int i = 0; i < m_colors.size(); ++i)
        if (!showing || showing->*keys[i] != settings->*keys[i]) m_colors[i]->setColor(settings->*keys[i]);
    m_switches.load(*settings, showing);
}

void ViewPrefsParamsUserInterface::saveToSettings(GlobalSettings* settings) const {
    if (!settings) {
        qDebug("Error : no settings to save");
        return;
    }
    for (int i = 0; i < m_units.size(); ++i) settings->*kUnitRows[i].key = m_units[i]->currentIndex() == 0;
    const QList<QColor GlobalSettings::*> keys = color_keys();
    for (int i = 0; i < m_colors.size(); ++i) settings->*keys[i] = m_colors[i]->color();
    m_switches.save(*settings);
}

void ViewPrefsParamsUserInterface::resetUi() {
    for (ViewCombobox2* combo : m_units) combo->resetToDefault();
    for (ViewParamsColor* swatch : m_colors) swatch->resetToDefault();
    m_switches.load(GlobalSettings::defaults());
    m_edits.reportAll();
}

void ViewPrefsParamsUserInterface::updateLayout() {
    ViewClosableParams::updateLayout();
    const int w = width();
    int row = 0;
    for (ViewLabel* name : m_rowNames) name->setGeometry(10, 5 + kRowStep * row++, 140, 25);
    for (int i = 0; i < m_units.size(); ++i) m_units[i]->setGeometry(155, 5 + kRowStep * i, 150, 25);
    // Swatches one per colour row; the last row holds two side by side.
    const int firstColorRow = int(m_units.size());
    for (int i = 0; i < m_colors.size(); ++i) {
        const bool secondOfRow = i == m_colors.size() - 1;
        const int r = firstColorRow + (secondOfRow ? i - 1 : i);
        m_colors[i]->setGeometry(155 + (secondOfRow ? kSwatchWidth + 5 : 0), 5 + kRowStep * r, kSwatchWidth, 25);
    }
    m_switches.place(10, 5 + kRowStep * row, w - 20);
}
