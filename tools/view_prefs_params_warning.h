#pragma once
// The "File warning" preference page: the ten import warnings (variable frame rate,
// unsupported audio, size not a multiple of 4, one per HAP codec, high bit rate) and
// the bit-rate limit with its unit. The limit looks enabled only while "Bitrate upper
// than" is on. The window holding the page routes the unit combo box's change to
// bitrateSet()->unitChanged(). Every edit the person makes (a switch, the limit or
// its unit, Reset) is reported by ViewClosableParams_Edited. A null store is logged and
// ignored.
// Owned by its Qt parent. GUI thread only.
#include <QRect>
#include <QStringList>

#include "tools/view_prefs_params_common.h"
#include "ui/view_closable_params.h"

class GlobalSettings;
class ViewBitrateSet;
class ViewCheckbox;

class ViewPrefsParamsWarning : public ViewClosableParams {
    Q_OBJECT
public:
    ViewPrefsParamsWarning(QWidget* parent, const QRect& geometry);

    // Given `showing` (this page read back), only the controls it shows otherwise
    // are set (the limit and its unit together): a field being edited keeps what is
    // in it.
    void loadFromSettings(const GlobalSettings* settings, const GlobalSettings* showing = nullptr);
    void saveToSettings(GlobalSettings* settings) const;
    void resetUi() override;
    void updateLayout() override;

    ViewCheckbox* checkbox(int index) const { return m_switches.at(index); }
    ViewCheckbox* highBitrateCheckbox() const { return m_switches.at(kHighBitrateRow); }
    ViewBitrateSet* bitrateSet() const { return m_bitrate; }

public slots:
    // The bit-rate value follows the "Bitrate upper than" switch.
    void act_cb_high_bitrate();

private:
    PrefsEditWatch m_edits{this};
    static constexpr int kHighBitrateRow = 9;

    PrefsSwitchList m_switches;
    ViewBitrateSet* m_bitrate = nullptr;
};
