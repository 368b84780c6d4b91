#pragma once
// DialogBenchmark: the modal "Benchmark" window. It runs the read-and-decode benchmark
// of the opened movie (PlayerBenchmarkTask), shows its figures in result rows whose
// number follows a Basic / Advanced / Expert mode box, writes a text report (shown in
// Expert mode only) and saves it.
//
// The main window builds a new one on each use and calls setFile. The movie is not
// owned and is held through a guarded pointer; the task reads the movie's file, so it
// is stopped whenever the dialog closes (Close, Escape, window close) and on
// destruction, before the movie can go. Only the current task's signals reach the
// report; each log batch starts on a line of its own. A save that cannot write its
// file says so. The mode is kept in the preferences store (SettingsDialogBenchmark)
// on Close. GUI thread only.
#include "tools/base_task_dialog.h"
#include "ui/view_items_sub_menu.h"  // QPointer needs the whole type

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>

class DataSourceSubMenu;
class FileToPlay;
class GlobalSettings;
class PlayerBenchmarkTask;
class ViewBenchmarkLineResults;
class ViewCombobox2;
class ViewLabel;
class ViewTextScrollable;
struct BenchmarkRecord;

class DialogBenchmark : public BaseTaskDialog {
    Q_OBJECT
public:
    static constexpr uint32_t kModeComboTag = 10;
    enum Row : int { Row_Header = 0, Row_ReadMs, Row_ReadFps, Row_DecodeMs, Row_DecodeFps, Row_GlobalMs,
                     Row_GlobalFps, Row_Bitrate, Row_Count };

    DialogBenchmark(QWidget* parent, GlobalSettings* settings);

    void setFile(FileToPlay* movie);

    // Whether the mode (0 Basic, 1 Advanced, 2 Expert) shows the row.
    static bool rowShown(int row, uint32_t mode);
    // The report's "Results" lines of a finished run (times in ms, two decimals; Min fps
    // from the maximum time, Max fps from the minimum time; bitrates in the unit asked).
    static QStringList resultLines(const BenchmarkRecord& record, bool bitsUnit);

    uint32_t mode() const;
    ViewCombobox2* modeBox() const { return m_mode; }
    ViewTextScrollable* reportView() const { return m_report; }
    const QList<ViewBenchmarkLineResults*>& rows() const { return m_rows; }
    PlayerBenchmarkTask* task() const;
    ViewItemsSubMenu* subMenu() const { return m_subMenu; }

public slots:
    void close_dialog_ok() override;
    void layoutButtons() override;
    void ViewCombobox2_Clic(uint32_t senderTag, DataSourceSubMenu* datasource);
    void ViewCombobox2_ValueChanged(uint32_t senderTag);
    void viewItemsSubMenuCancel(const QString& src_obj_tag, uint32_t senderTag);
    void viewItemsSubMenuClose(const QString& src_obj_tag, uint32_t senderTag, unsigned int index, unsigned int section);
    void reject() override;

protected:
    BaseProcessTask* createTask() override;
    QString reportHeader() const override;
    void writeResults() override;

private:
    ViewLabel* m_description = nullptr;
    ViewCombobox2* m_mode = nullptr;
    GlobalSettings* m_settings = nullptr;
    QList<ViewBenchmarkLineResults*> m_rows;
    QPointer<ViewItemsSubMenu> m_subMenu;
};
