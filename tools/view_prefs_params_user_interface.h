#pragma once
// The "User Interface" preference page: the units of the file information (bit rate,
// GPU bandwidth, file size), the eight colours of the guides and backgrounds, and four
// switches (hiding embedded tracks, controls in full screen, remembering the view,
// the unsupported sound card warning). The window holding the page gives the three
// unit combo boxes their tags and opens their item lists. Every edit the person makes
// (a choice, a colour, a switch, Reset) is reported by ViewClosableParams_Edited. A null
// store is logged and ignored. Owned by its Qt parent. GUI thread only.
#include <QColor>
#include <QList>
#include <QRect>
#include <QStringList>

#include "tools/view_prefs_params_common.h"
#include "ui/view_closable_params.h"

class GlobalSettings;
class ViewCheckbox;
class ViewCombobox2;
class ViewLabel;
class ViewParamsColor;

class ViewPrefsParamsUserInterface : public ViewClosableParams {
    Q_OBJECT
public:
    ViewPrefsParamsUserInterface(QWidget* parent, const QRect& geometry);

    // Given `showing` (this page read back), only the controls it shows otherwise
    // are set: a field being edited keeps what is in it.
    void loadFromSettings(const GlobalSettings* settings, const GlobalSettings* showing = nullptr);
    void saveToSettings(GlobalSettings* settings) const;
    void resetUi() override;
    void updateLayout() override;

    // 0 bit rate, 1 bandwidth, 2 file size.
    ViewCombobox2* unitCombo(int index) const { return m_units.value(index); }
    // In the store's order: safe area action and title, video area, display area,
    // letterbox, custom background, the two checkerboard colours.
    ViewParamsColor* colorSwatch(int index) const { return m_colors.value(index); }
    ViewCheckbox* checkbox(int index) const { return m_switches.at(index); }

private:
    PrefsEditWatch m_edits{this};
    QList<ViewCombobox2*> m_units;
    QList<ViewParamsColor*> m_colors;
    QList<ViewLabel*> m_rowNames;  // three unit rows, then seven colour rows
    PrefsSwitchList m_switches;
};
