#pragma once
// The "Snapshot" preference page: file format, destination folder (Desktop, the
// movie's folder or a chosen one), how the time is written in the file name, scaling
// with its target size, and the JPEG quality. Shown in the preferences window and,
// alone, in the snapshot parameters dialog; the window holding it gives the four
// combo boxes their tags, opens their item lists and calls updateEnabledState after
// every change of one. Stored values a control cannot show (an unknown index, a size
// outside 4..65535, a quality outside 1..100) are logged and shown as the default.
// Every edit the person makes (a choice, a typed number, a folder, Reset) is reported
// by ViewClosableParams_Edited. A null store is logged and ignored. Owned by its Qt
// parent. GUI thread only.
#include <QRect>
#include <QStringList>

#include <cstdint>

#include "tools/view_prefs_params_common.h"
#include "ui/view_closable_params.h"

class GlobalSettings;
class ViewChooseFolder;
class ViewCombobox2;
class ViewLabel;
class ViewSpinBoxInt;
class ViewSpinBoxIntEval;

class ViewPrefsParamsSnapshot : public ViewClosableParams {
    Q_OBJECT
public:
    ViewPrefsParamsSnapshot(QWidget* parent, const QRect& geometry);

    // Given `showing` (this page read back), only the controls it shows otherwise
    // are set: a field being edited keeps what is in it, its typed expression too.
    void loadFromSettings(const GlobalSettings* settings, const GlobalSettings* showing = nullptr);
    void saveToSettings(GlobalSettings* settings) const;
    void resetUi() override;
    void updateLayout() override;

    // The quality only for JPEG, the folder chooser only for "Custom", the size only
    // when scaling.
    void updateEnabledState();

    // The "Time Naming" entries are "Frames", "HH:MM:SS:FF", "Timecode",
    // "HH:MM:SS.Mill"; the stored modes are 1, 2, 4, 3. An unknown index logs and
    // gives 1 ("Frames"); an unknown mode logs and gives entry 0.
    static uint32_t timeModeForIndex(int64_t index);
    static int32_t indexForTimeMode(uint32_t mode);

    ViewCombobox2* formatCombo() const { return m_format; }
    ViewCombobox2* folderModeCombo() const { return m_folderMode; }
    ViewCombobox2* timeModeCombo() const { return m_timeMode; }
    ViewCombobox2* scaleModeCombo() const { return m_scaleMode; }
    ViewChooseFolder* folderChooser() const { return m_folder; }
    ViewSpinBoxIntEval* widthBox() const { return m_width; }
    ViewSpinBoxIntEval* heightBox() const { return m_height; }
    ViewSpinBoxInt* qualityBox() const { return m_quality; }

private:
    PrefsEditWatch m_edits{this};
    ViewCombobox2* m_format = nullptr;
    ViewCombobox2* m_folderMode = nullptr;
    ViewChooseFolder* m_folder = nullptr;
    ViewCombobox2* m_timeMode = nullptr;
    ViewCombobox2* m_scaleMode = nullptr;
    ViewSpinBoxIntEval* m_width = nullptr;
    ViewSpinBoxIntEval* m_height = nullptr;
    ViewSpinBoxInt* m_quality = nullptr;
    // Row names in row order: format, save folder, folder path, time naming,
    // scaling, width, height, quality.
    ViewLabel* m_names[8] = {};
};
