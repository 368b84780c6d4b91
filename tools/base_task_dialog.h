#pragma once
// BaseTaskDialog: what the tool windows that run one task at a time share (the file
// test, the loudness analysis, the benchmark). The progress row's play, pause and stop
// drive the task; the task's logs, progress and state reach the window only while that
// task is the current one, so late signals of a replaced task are dropped; unless the
// window opts out (m_stopOnClose), the task is stopped whenever the window closes
// (Close, Escape, window close); Save proposes "<movie name>_<suffix>" beside the movie
// and a refusal or failure shows a message.
//
// A derived window makes the progress row (then calls followProgressRow), owns its
// task (a child object), says which one it is through currentTask(), starts it in
// progressTask_clic_play and hands it to followTask. GUI thread only.
#include "ui/base_dialog.h"

#include <QString>
#include <QStringList>

#include <cstdint>

#include "ui/process_task_records.h"

class BaseProcessTask;
class DialogSimpleMsg;
class ViewProgressTask;
class ViewTextScrollable;

class BaseTaskDialog : public BaseDialog {
    Q_OBJECT
public:
    BaseTaskDialog(QWidget* parent, const QRect& geometry, const QString& title);

    // Stops a running task and waits for it (the main window calls it before the
    // movie or its tracks change). Its lines so far stay in the report.
    void stopTask();

    ViewProgressTask* progressRow() const { return m_progress; }
    // The message the last Save showed ("No results to save", or a write failure).
    DialogSimpleMsg* messageDialog() const { return m_message; }

public slots:
    virtual void progressTask_clic_play(const QString& senderUuid) = 0;
    void progressTask_clic_pause(const QString& senderUuid);
    void progressTask_clic_stop(const QString& senderUuid);
    void processTask_have_new_logs(const QStringList& nArrLogs, const QString& uuidSender);
    void processTask_update_progress(const ProgressTaskInfo& nInfo, const QString& uuidSender);
    void processTask_update_state(const ProcessingStateObj& nStateObj, const QString& uuidSender);
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

    // The task the window runs now, null before the first start.
    virtual BaseProcessTask* currentTask() const = 0;
    // A batch of the current task's log lines, never empty.
    virtual void appendTaskLogs(const QStringList& lines) = 0;
    // The current task's new public state, after the progress row has shown it.
    virtual void taskStateChanged(uint32_t state);

    // Connects the row's play, pause and stop buttons to this window.
    void followProgressRow(ViewProgressTask* row);
    // Makes `task` the current one: its signals reach this window, the row starts over.
    void followTask(BaseProcessTask* task);
    bool isCurrentTask(const QString& uuid) const;

    // Replaces the message shown last with a new one.
    void showMessage(const QString& text);
    // Save: asks where to write the report (an empty report or no movie shows "No
    // results to save") and writes it. Returns false only when the file could not be
    // written; `proposed_name` then holds the name that was proposed.
    bool saveReport(const ViewTextScrollable* report, const QString& movie_path, const QString& suffix,
                    const QString& caption, QString* proposed_name);

    // The loudness and benchmark windows trace their pause and stop buttons on the
    // console as "pause_process" and "stop_process".
    bool m_traceButtons = false;
    // Whether closing the window (Close, Escape, window close) stops the task. A window
    // that clears it keeps receiving the task's signals while hidden, so showing it
    // again shows the run so far; its owner stops the task when the movie goes.
    bool m_stopOnClose = true;
    // Set by followProgressRow; a child widget the derived window places.
    ViewProgressTask* m_progress = nullptr;

private:
    DialogSimpleMsg* m_message = nullptr;
};
