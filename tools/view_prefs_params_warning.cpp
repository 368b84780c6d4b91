#include "tools/view_prefs_params_warning.h"

#include <QDebug>

#include <algorithm>

#include "base/settings/global_settings.h"
#include "tools/view_bitrate_set.h"
#include "ui/view_checkbox.h"
#include "ui/view_combobox2.h"
#include "ui/view_spin_box_eval.h"

ViewPrefsParamsWarning::ViewPrefsParamsWarning(QWidget* parent, const QRect& geometry)
    : ViewClosableParams(parent, geometry, QStringLiteral("File warning")) {
    setContentHeight(310);
    const QString codecTip = QStringLiteral("Display warning if Mov file have this video codec");
    m_switches.create(
        content(),
        {prefs_switch(QStringLiteral("Variable fps"), QStringLiteral("Display warning if file doesn't have fix fps"),
                      &GlobalSettings::warn_about_variable_fps),
         prefs_switch(QStringLiteral("Unsupported audio"),
                      QStringLiteral("Display warning if audio track(s) have unsupported format"),
                      &GlobalSettings::warn_about_unsupported_audio),
         prefs_switch(QStringLiteral("Not multiple 4"),
                      QStringLiteral("Display warning if video file resolution is not multiple of 4"),
                      &GlobalSettings::warn_about_not_multiple_4),
         prefs_switch(QStringLiteral("Codec HAP"), codecTip, &GlobalSettings::warn_about_codec_hap),
         prefs_switch(QStringLiteral("Codec HAPA"), codecTip, &GlobalSettings::warn_about_codec_hapa),
         prefs_switch(QStringLiteral("Codec HAPQ"), codecTip, &GlobalSettings::warn_about_codec_hapq),
         prefs_switch(QStringLiteral("Codec HAPQA"), codecTip, &GlobalSettings::warn_about_codec_hapqa),
         prefs_switch(QStringLiteral("Codec HAPAlphaOnly"), codecTip, &GlobalSettings::warn_about_codec_hapalphaonly),
         prefs_switch(QStringLiteral("Codec HAPR"), codecTip, &GlobalSettings::warn_about_codec_hapr),
         prefs_switch(QStringLiteral("Bitrate upper than"),
                      QStringLiteral("Display warning if Mov file have bitrate upper than value"),
                      &GlobalSettings::warn_about_high_bitrate)},
        m_edits);
    m_bitrate = new ViewBitrateSet(content(), QRect(0, 0, 270, 25));
    // The unit changes how the limit is shown, and the two are shown together.
    const QStringList limitKeys = {GlobalSettings::keyOf(&GlobalSettings::warn_bitrate_limit),
                                   GlobalSettings::keyOf(&GlobalSettings::warn_high_bitrate_units)};
    m_edits.watchNumber(m_bitrate->spinBox(), limitKeys);
    m_edits.watch(m_bitrate->comboBox(), &ViewCombobox2::ViewCombobox2_ValueChanged, limitKeys);
    connect(highBitrateCheckbox(), &ViewCheckbox::act_mouse_clic, this, &ViewPrefsParamsWarning::act_cb_high_bitrate);
    ViewPrefsParamsWarning::resetUi();
    ViewPrefsParamsWarning::updateLayout();
}

void ViewPrefsParamsWarning::loadFromSettings(const GlobalSettings* settings, const GlobalSettings* showing) {
    if (!settings) {
        qDebug("Error : no settings to load");
        return;
    }
    m_switches.load(*settings, showing);
    if (!showing || showing->warn_high_bitrate_units != settings->warn_high_bitrate_units ||
        showing->warn_bitrate_limit != settings->warn_bitrate_limit) {
        // The unit first: the limit is then shown in it.
        m_bitrate->setUnit(settings->warn_high_bitrate_units);
        m_bitrate->setBitrate(settings->warn_bitrate_limit);
    }
    act_cb_high_bitrate();
}

void ViewPrefsParamsWarning::saveToSettings(GlobalSettings* settings) const {
    if (!settings) {
        qDebug("Error : no settings to save");
        return;
    }
    m_switches.save(*settings);
    settings->warn_bitrate_limit = m_bitrate->bitrate();
    settings->warn_high_bitrate_units = m_bitrate->unit();
}

void ViewPrefsParamsWarning::resetUi() {
    m_switches.load(GlobalSettings::defaults());
    m_bitrate->resetToDefault();
    act_cb_high_bitrate();
    m_edits.reportAll();
}

void ViewPrefsParamsWarning::act_cb_high_bitrate() {
    m_bitrate->setEnabledLook(highBitrateCheckbox()->isChecked());
}

void ViewPrefsParamsWarning::updateLayout() {
    ViewClosableParams::updateLayout();
    const int w = std::min(width(), 200);
    m_switches.place(10, 5, w);
    m_bitrate->move(10 + w, 5 + 30 * kHighBitrateRow);
}
