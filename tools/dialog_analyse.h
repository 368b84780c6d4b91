#pragma once
// DialogAnalyse: the modal "File Test" window. It lists what is already known to be
// wrong with the opened movie (variable rate, dropped or duplicated frames, parse
// warnings, a size that is not a multiple of 4), runs the frame-by-frame HAP file test
// (TestHapFileProcessTask) with a progress row, shows the test's log as the report
// and saves it as text.
//
// The main window builds it once and calls setFile before every showing. The movie is
// not owned and is held through a guarded pointer, so a movie closed meanwhile only
// makes Save refuse. The running task is owned (child object). Closing the window
// (Close, Escape, window close) leaves it running, so a long test goes on while the
// user watches the movie, and showing the window again for the same movie shows the
// run so far; it is stopped by a setFile with another movie, by stopTask (the main
// window's import and track deletion) and on destruction. Only the current task's
// signals reach the report: late signals of a task that was replaced are dropped. A
// save that cannot write its file says so in a message. GUI thread only.
#include "tools/base_task_dialog.h"

#include <QStringList>

#include <cstdint>

class AllAudioSrcTracks;
class FileToPlay;
class GlobalSettings;
class TestHapFileProcessTask;
class ViewCheckbox;
class ViewLabel;
class ViewTextScrollable;

class DialogAnalyse : public BaseTaskDialog {
    Q_OBJECT
public:
    explicit DialogAnalyse(QWidget* parent);

    // Prepares a showing. For the movie the current test was started on (the same
    // FileToPlay object, still open) it changes nothing while that test still runs or
    // is paused, or when it ended while the window was closed (its report not yet seen):
    // the report and progress stay. Otherwise it stops and forgets a previous test,
    // clears the report, loads the option from `settings` (may be null) and writes the
    // movie's known defects, so a test whose end was seen can be run again.
    // `tracks` is accepted and not used.
    void setFile(FileToPlay* movie, AllAudioSrcTracks* tracks, GlobalSettings* settings);

    ViewTextScrollable* resultsView() const { return m_report; }
    ViewCheckbox* warnChunksBox() const { return m_warnChunks; }
    TestHapFileProcessTask* task() const;
    uint32_t logLineCount() const { return m_logLines; }

public slots:
    void close_dialog_ok() override;
    void layoutButtons() override;

protected:
    BaseProcessTask* createTask() override;
    QString reportHeader() const override;
    void appendTaskLogs(const QStringList& lines) override;
    void taskStateChanged(uint32_t state) override;
    QString saveFailedText(const QString& proposedName) const override;

private:
    ViewLabel* m_resultsLabel = nullptr;
    uint32_t m_logLines = 0;
    ViewLabel* m_paramsLabel = nullptr;
    ViewCheckbox* m_warnChunks = nullptr;
    // The current test ended while the window was closed: the next showing keeps it.
    bool m_endUnseen = false;
    GlobalSettings* m_settings = nullptr;
};
