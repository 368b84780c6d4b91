#pragma once
// The two preference pages that are only a column of switches: "Import" (automatic
// WAV import, muting the movie's own tracks) and "Playback" (audio while stepping).
// Each page copies the store into its switches (loadFromSettings), back into the
// store (saveToSettings) and puts them back to the defaults on "Reset" (resetUi);
// the window holding the page decides when. A click on a switch and Reset are
// reported by ViewClosableParams_Edited. A null store is logged and ignored.
// Owned by its Qt parent. GUI thread only.
#include <QRect>
#include <QString>
#include <QStringList>

#include <vector>

#include "tools/view_prefs_params_common.h"
#include "ui/view_closable_params.h"

class GlobalSettings;
class ViewCheckbox;

class ViewPrefsParamsSwitchPage : public ViewClosableParams {
    Q_OBJECT
public:
    // Given `showing` (this page read back), only the switches it shows otherwise.
    void loadFromSettings(const GlobalSettings* settings, const GlobalSettings* showing = nullptr);
    void saveToSettings(GlobalSettings* settings) const;
    void resetUi() override;
    void updateLayout() override;

    ViewCheckbox* checkbox(int index) const { return m_switches.at(index); }

protected:
    ViewPrefsParamsSwitchPage(QWidget* parent, const QRect& geometry, const QString& title, int32_t contentHeight,
                              std::vector<PrefsSwitch> rows);

private:
    PrefsEditWatch m_edits{this};
    PrefsSwitchList m_switches;
};

class ViewPrefsParamsImport : public ViewPrefsParamsSwitchPage {
    Q_OBJECT
public:
    ViewPrefsParamsImport(QWidget* parent, const QRect& geometry);
};

class ViewPrefsParamsPlayback : public ViewPrefsParamsSwitchPage {
    Q_OBJECT
public:
    ViewPrefsParamsPlayback(QWidget* parent, const QRect& geometry);
};
