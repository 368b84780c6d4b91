#include "tools/view_prefs_params_snapshot.h"

#include <QDebug>

#include <algorithm>
#include <utility>

#include "base/settings/global_settings.h"
#include "tools/view_prefs_params_common.h"
#include "ui/view_choose_folder.h"
#include "ui/view_combobox2.h"
#include "ui/view_label.h"
#include "ui/view_spin_box.h"
#include "ui/view_spin_box_eval.h"

namespace {

enum Row { RowFormat, RowSaveFolder, RowFolderPath, RowTimeNaming, RowScaling, RowWidth, RowHeight, RowQuality };

constexpr int kChooserHeight = 50;

// A number field whose default and bounds are those of the setting it edits.
template <class Box>
Box* number_field(QWidget* parent, uint32_t GlobalSettings::*member) {
    const GlobalSettings::Range range = GlobalSettings::rangeOf(member);
    return new Box(parent, QRect(0, 0, 150, 25), int32_t(GlobalSettings::defaults().*member), int32_t(range.min),
                   int32_t(range.max));
}

// Shows a stored number, or the box's default when the box refuses it (logged).
template <class Box>
void show_number(Box* box, uint32_t value) {
    if (value > uint32_t(INT32_MAX) || !box->set_value(int32_t(value))) box->set_to_default_value();
}

}  // namespace

ViewPrefsParamsSnapshot::ViewPrefsParamsSnapshot(QWidget* parent, const QRect& geometry)
    : ViewClosableParams(parent, geometry, QStringLiteral("Snapshot")) {
    setContentHeight(275);
    QWidget* box = content();
    const char* names[8] = {"Format",  "Save folder", "Folder path", "Time Naming",
                            "Scaling", "Width",       "Height",      "Jpeg quality"};
    for (int i = 0; i < 8; ++i) m_names[i] = prefs_row_label(box, QString::fromLatin1(names[i]));
    using G = GlobalSettings;
    const G& defaults = G::defaults();
    m_format = prefs_combo(box, {QStringLiteral("Jpeg"), QStringLiteral("Png")}, int32_t(defaults.snapshot_format));
    m_folderMode =
        prefs_combo(box, {QStringLiteral("Desktop"), QStringLiteral("Same as source"), QStringLiteral("Custom")},
                    int32_t(defaults.snapshot_dst_folder_mode));
    m_folder = new ViewChooseFolder(box, QRect(0, 0, 300, kChooserHeight), defaults.snapshot_custom_folder_path);
    m_timeMode = prefs_combo(box,
                             {QStringLiteral("Frames"), QStringLiteral("HH:MM:SS:FF"), QStringLiteral("Timecode"),
                              QStringLiteral("HH:MM:SS.Mill")},
                             indexForTimeMode(defaults.snapshot_time_mode));
    m_scaleMode =
        prefs_combo(box, {QStringLiteral("Same as source"), QStringLiteral("Fit to"), QStringLiteral("Fit and pad")},
                    int32_t(defaults.snapshot_scale_mode));
    m_width = number_field<ViewSpinBoxIntEval>(box, &G::snapshot_scale_width);
    m_height = number_field<ViewSpinBoxIntEval>(box, &G::snapshot_scale_height);
    m_quality = number_field<ViewSpinBoxInt>(box, &G::snapshot_jpeg_qual);

    setToolTipAll(QStringLiteral("Snapshot format"), {m_names[RowFormat], m_format});
    setToolTipAll(QStringLiteral("Snapshot destination"), {m_names[RowSaveFolder], m_folderMode});
    setToolTipAll(QStringLiteral("Snapshot folder in Custom mode"), {m_names[RowFolderPath], m_folder});
    setToolTipAll(QStringLiteral("Set time format for snapshot name"), {m_names[RowTimeNaming], m_timeMode});
    setToolTipAll(QStringLiteral("Snapshot scaling (Same as source, fit to (scale to not exceed target resolution), "
                                 "fit and pad (like fit to and add letterbox/pillarbox to obtain target resolution"),
                  {m_names[RowScaling], m_scaleMode});
    setToolTipAll(QStringLiteral("Snapshot width (when scaling mode is Fit to or Fit and pad"),
                  {m_names[RowWidth], m_width});
    setToolTipAll(QStringLiteral("Snapshot height (when scaling mode is Fit to or Fit and pad"),
                  {m_names[RowHeight], m_height});
    setToolTipAll(QStringLiteral("Jpeg quality, 100 is the higher quality"), {m_names[RowQuality], m_quality});

    const std::pair<ViewCombobox2*, uint32_t G::*> combos[] = {{m_format, &G::snapshot_format},
                                                               {m_folderMode, &G::snapshot_dst_folder_mode},
                                                               {m_timeMode, &G::snapshot_time_mode},
                                                               {m_scaleMode, &G::snapshot_scale_mode}};
    for (const auto& [combo, member] : combos)
        m_edits.watch(combo, &ViewCombobox2::ViewCombobox2_ValueChanged, {G::keyOf(member)});
    m_edits.watch(m_folder, &ViewChooseFolder::ViewChooseFolder_FolderChange,
                  {G::keyOf(&G::snapshot_custom_folder_path)});
    m_edits.watchNumber(m_width, {G::keyOf(&G::snapshot_scale_width)});
    m_edits.watchNumber(m_height, {G::keyOf(&G::snapshot_scale_height)});
    m_edits.watchNumber(m_quality, {G::keyOf(&G::snapshot_jpeg_qual)});

    updateEnabledState();
    ViewPrefsParamsSnapshot::updateLayout();
}

uint32_t ViewPrefsParamsSnapshot::timeModeForIndex(int64_t index) {
    switch (index) {
        case 0: return GlobalSettings::SnapshotTime_Frames;
        case 1: return GlobalSettings::SnapshotTime_HoursMinutesSecondsFrames;
        case 2: return GlobalSettings::SnapshotTime_Timecode;
        case 3: return GlobalSettings::SnapshotTime_HoursMinutesSecondsMillis;
        default:
            // Never 0: the snapshot names know only the modes 1 to 4.
            qDebug("Warning : invalid combo time mode : %lld", static_cast<long long>(index));
            return GlobalSettings::SnapshotTime_Frames;
    }
}

int32_t ViewPrefsParamsSnapshot::indexForTimeMode(uint32_t mode) {
    switch (mode) {
        case GlobalSettings::SnapshotTime_Frames: return 0;
        case GlobalSettings::SnapshotTime_HoursMinutesSecondsFrames: return 1;
        case GlobalSettings::SnapshotTime_Timecode: return 2;
        case GlobalSettings::SnapshotTime_HoursMinutesSecondsMillis: return 3;
        default: qDebug("Invalid snapshot time mode : %lu", static_cast<unsigned long>(mode)); return 0;
    }
}

void ViewPrefsParamsSnapshot::loadFromSettings(const GlobalSettings* settings, const GlobalSettings* showing) {
    if (!settings) {
        qDebug("Error : no settings to load");
        return;
    }
    using G = GlobalSettings;
    const auto wanted = [&](auto G::*member) { return !showing || showing->*member != settings->*member; };
    if (wanted(&G::snapshot_format)) prefs_select(m_format, settings->snapshot_format, "snapshot format");
    if (wanted(&G::snapshot_dst_folder_mode))
        prefs_select(m_folderMode, settings->snapshot_dst_folder_mode, "snapshot folder mode");
    if (wanted(&G::snapshot_custom_folder_path)) m_folder->setFolder(settings->snapshot_custom_folder_path);
    if (wanted(&G::snapshot_time_mode)) m_timeMode->setCurrentIndex(indexForTimeMode(settings->snapshot_time_mode));
    if (wanted(&G::snapshot_scale_mode))
        prefs_select(m_scaleMode, settings->snapshot_scale_mode, "snapshot scale mode");
    if (wanted(&G::snapshot_scale_width)) show_number(m_width, settings->snapshot_scale_width);
    if (wanted(&G::snapshot_scale_height)) show_number(m_height, settings->snapshot_scale_height);
    if (wanted(&G::snapshot_jpeg_qual)) show_number(m_quality, settings->snapshot_jpeg_qual);
    updateEnabledState();
}

void ViewPrefsParamsSnapshot::saveToSettings(GlobalSettings* settings) const {
    if (!settings) {
        qDebug("Error : no settings to save");
        return;
    }
    const GlobalSettings& defaults = GlobalSettings::defaults();
    settings->snapshot_format = prefs_index(m_format, defaults.snapshot_format);
    settings->snapshot_dst_folder_mode = prefs_index(m_folderMode, defaults.snapshot_dst_folder_mode);
    settings->snapshot_custom_folder_path = m_folder->folder();
    settings->snapshot_time_mode = timeModeForIndex(m_timeMode->currentIndex());
    settings->snapshot_scale_mode = prefs_index(m_scaleMode, defaults.snapshot_scale_mode);
    settings->snapshot_scale_width = uint32_t(m_width->value());
    settings->snapshot_scale_height = uint32_t(m_height->value());
    settings->snapshot_jpeg_qual = uint32_t(m_quality->value());
}

void ViewPrefsParamsSnapshot::resetUi() {
    m_format->resetToDefault();
    m_folderMode->resetToDefault();
    m_folder->setFolder(GlobalSettings::defaults().snapshot_custom_folder_path);
    m_timeMode->resetToDefault();
    m_scaleMode->resetToDefault();
    m_width->set_to_default_value();
    m_height->set_to_default_value();
    m_quality->set_to_default_value();
    updateEnabledState();
    m_edits.reportAll();
}

void ViewPrefsParamsSnapshot::updateEnabledState() {
    const bool jpeg = m_format->currentIndex() == int32_t(GlobalSettings::SnapshotFormat_Jpeg);
    m_quality->setEnabledLook(jpeg);
    m_names[RowQuality]->setEnabledLook(jpeg);
    if (m_folderMode->currentIndex() == int32_t(GlobalSettings::SnapshotDstFolder_Custom))
        m_folder->enable();
    else
        m_folder->disable();
    const bool scaling = m_scaleMode->currentIndex() != int32_t(GlobalSettings::SnapshotScale_SameAsSource);
    m_width->setEnabledLook(scaling);
    m_height->setEnabledLook(scaling);
    m_names[RowWidth]->setEnabledLook(scaling);
    m_names[RowHeight]->setEnabledLook(scaling);
}

void ViewPrefsParamsSnapshot::updateLayout() {
    ViewClosableParams::updateLayout();
    const int controlWidth = std::max(width() - 125, 150);
    int y = 5;
    for (int row = RowFormat; row <= RowQuality; ++row) {
        m_names[row]->setGeometry(10, y, 100, 25);
        QWidget* control = nullptr;
        switch (row) {
            case RowFormat: control = m_format; break;
            case RowSaveFolder: control = m_folderMode; break;
            case RowFolderPath: control = m_folder; break;
            case RowTimeNaming: control = m_timeMode; break;
            case RowScaling: control = m_scaleMode; break;
            case RowWidth: control = m_width; break;
            case RowHeight: control = m_height; break;
            default: control = m_quality; break;
        }
        if (row == RowFolderPath) {
            control->setGeometry(115, y, controlWidth, kChooserHeight);
            y += kChooserHeight + 5;
        } else {
            control->move(115, y);
            y += 30;
        }
    }
}
