#pragma once
// DialogAnalyse: the modal "File Test" window. It lists what is already known to be
// wrong with the opened movie (variable rate, dropped or duplicated frames, parse
// warnings, a size that is not a multiple of 4), runs the frame-by-frame HAP file test
// (TestHapFileProcessTask) with a progress row, shows the test's log as the report
// and saves it as text.
//
// The main window builds it once and calls setFile before every showing. The movie is
// not owned and is held through a guarded pointer, so a movie closed meanwhile only
// makes Save refuse. The running task is owned (child object); it is stopped when the
// dialog closes (Close, Escape, window close), on the next setFile and on destruction.
// Only the current task's signals reach the report: late signals of a task that was
// replaced are dropped. A save that cannot write its file says so in a message.
// GUI thread only.
#include "ui/base_dialog.h"

#include <QPointer>
#include <QStringList>

#include <cstdint>

#include "ui/process_task_records.h"

class AllAudioSrcTracks;
class DialogSimpleMsg;
class FileToPlay;
class GlobalSettings;
class TestHapFileProcessTask;
class ViewCheckbox;
class ViewLabel;
class ViewProgressTask;
class ViewTextScrollable;

class DialogAnalyse : public BaseDialog {
    Q_OBJECT
public:
    static constexpr const char* kWarnChunksKey = "ui_file_test_warn_chunks_state";

    explicit DialogAnalyse(QWidget* parent);
    ~DialogAnalyse() override;

    // Prepares a new showing: clears the report, stops and forgets a previous test,
    // loads the option from `settings` (may be null) and writes the movie's known
    // defects. `tracks` is accepted and not used.
    void setFile(FileToPlay* movie, AllAudioSrcTracks* tracks, GlobalSettings* settings);

    // Stops a running task and waits for it (the main window calls it before the
    // movie or its tracks change). Its lines so far stay in the report.
    void stopTask();

    ViewTextScrollable* resultsView() const { return m_results; }
    ViewProgressTask* progressRow() const { return m_progress; }
    ViewCheckbox* warnChunksBox() const { return m_warnChunks; }
    TestHapFileProcessTask* task() const { return m_task; }
    uint32_t logLineCount() const { return m_logLines; }
    // The message the last Save showed ("No results to save", or a write failure).
    DialogSimpleMsg* messageDialog() const { return m_message; }

public slots:
    void act_btn_bottom_left_btn(uint32_t senderTag) override;
    void close_dialog_ok() override;
    void layoutButtons() override;
    void processTask_have_new_logs(const QStringList& nArrLogs, const QString& uuidSender);
    void processTask_update_progress(const ProgressTaskInfo& nInfo, const QString& uuidSender);
    void processTask_update_state(const ProcessingStateObj& nStateObj, const QString& uuidSender);
    void progressTask_clic_play(const QString& senderUuid);
    void progressTask_clic_pause(const QString& senderUuid);
    void progressTask_clic_stop(const QString& senderUuid);
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void saveResults();
    void showMessage(const QString& text);
    void dropTask();
    bool isCurrentTask(const QString& uuid) const;

    DialogSimpleMsg* m_message = nullptr;
    ViewLabel* m_resultsLabel = nullptr;
    ViewTextScrollable* m_results = nullptr;
    uint32_t m_logLines = 0;
    ViewLabel* m_paramsLabel = nullptr;
    ViewCheckbox* m_warnChunks = nullptr;
    ViewProgressTask* m_progress = nullptr;
    TestHapFileProcessTask* m_task = nullptr;
    QPointer<FileToPlay> m_movie;
    GlobalSettings* m_settings = nullptr;
};
