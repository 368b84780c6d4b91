#include "tools/view_prefs_params_switches.h"

#include <QDebug>

#include "base/settings/global_settings.h"

ViewPrefsParamsSwitchPage::ViewPrefsParamsSwitchPage(QWidget* parent, const QRect& geometry, const QString& title,
                                                     int32_t contentHeight, std::vector<PrefsSwitch> rows)
    : ViewClosableParams(parent, geometry, title) {
    setContentHeight(contentHeight);
    m_switches.create(content(), std::move(rows), m_edits);
    ViewPrefsParamsSwitchPage::resetUi();
    ViewPrefsParamsSwitchPage::updateLayout();
}

void ViewPrefsParamsSwitchPage::loadFromSettings(const GlobalSettings* settings, const GlobalSettings* showing) {
    if (!settings) {
        qDebug("Error : no settings to load");
        return;
    }
    m_switches.load(*settings, showing);
}

void ViewPrefsParamsSwitchPage::saveToSettings(GlobalSettings* settings) const {
    if (!settings) {
        qDebug("Error : no settings to save");
        return;
    }
    m_switches.save(*settings);
}

void ViewPrefsParamsSwitchPage::resetUi() {
    m_switches.load(GlobalSettings::defaults());
    m_edits.reportAll();
}

void ViewPrefsParamsSwitchPage::updateLayout() {
    ViewClosableParams::updateLayout();
    m_switches.place(10, 5, width() - 25);
}

ViewPrefsParamsImport::ViewPrefsParamsImport(QWidget* parent, const QRect& geometry)
    : ViewPrefsParamsSwitchPage(
          parent, geometry, QStringLiteral("Import"), 75,
          {prefs_switch(QStringLiteral("Auto import wav files"),
                        QStringLiteral("Load wav file, if mov file doesn't have supported audio, and wav file with "
                                       "same name is found"),
                        &GlobalSettings::import_auto_load_wave_files),
           prefs_switch(QStringLiteral("Mute embedded audio tracks when adding wav file(s)"),
                        QStringLiteral("When importing wav files, disable audio mapping of mov embedded tracks"),
                        &GlobalSettings::mute_embed_audio_tracks_when_adding_wav)}) {}

ViewPrefsParamsPlayback::ViewPrefsParamsPlayback(QWidget* parent, const QRect& geometry)
    : ViewPrefsParamsSwitchPage(parent, geometry, QStringLiteral("Playback"), 45,
                                {prefs_switch(QStringLiteral("Play audio in frame by frame navigation"), QString(),
                                              &GlobalSettings::play_audio_frame_by_frame)}) {}
