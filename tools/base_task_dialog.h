#pragma once
// BaseTaskDialog: what the tool windows that run one task at a time share (the file
// test, the loudness analysis, the benchmark). The bottom bar holds "Close" (OK) and
// "Save results". The progress row's play starts the window's task (or resumes the
// one it has), pause and stop drive it; the task's logs (appended to the report, each
// batch on a line of its own), progress and state reach the window only while that
// task is the current one, so late signals of a replaced task are dropped; a finished
// run writes the window's results. Unless the window opts out (m_stopOnClose), the
// task is stopped whenever the window closes (Close, Escape, window close); it is
// always stopped and deleted with the window. Save proposes "<movie name>_<suffix>"
// beside the movie; an empty report or no movie shows "No results to save", a file
// that cannot be written shows a message naming the file chosen.
//
// A derived window makes the progress row (then calls followProgressRow) and the
// report view (m_report), keeps the movie in m_movie and makes its task in createTask.
// The task is owned (a child object), except after a stop that did not wait (see
// m_stopWithoutWaiting). GUI thread only.
#include "ui/base_dialog.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>

#include "ui/base_process_task.h"
#include "ui/process_task_records.h"

class DialogSimpleMsg;
class FileToPlay;
class ViewProgressTask;
class ViewTextScrollable;

class BaseTaskDialog : public BaseDialog {
    Q_OBJECT
public:
    static constexpr uint32_t kSaveButtonTag = 1;

    // `reportSuffix` and `saveCaption`: the name Save proposes after the movie's name,
    // and the title of its file dialog.
    BaseTaskDialog(QWidget* parent, const QRect& geometry, const QString& title, const QString& reportSuffix,
                   const QString& saveCaption);
    // Stops the task and waits for it while the views it reports to still exist.
    ~BaseTaskDialog() override;

    // Stops a running task before the movie or its tracks change (the main window
    // calls it before an import or a track deletion): waits for it, unless the window
    // stops without waiting (m_stopWithoutWaiting), whose task uses neither and only
    // gets the request, as the window's own stop button gives it. Its lines so far stay
    // in the report.
    void stopTask();

    ViewProgressTask* progressRow() const { return m_progress; }
    // The message the last Save showed ("No results to save", or a write failure).
    DialogSimpleMsg* messageDialog() const { return m_message; }

public slots:
    void act_btn_bottom_left_btn(uint32_t senderTag) override;
    void progressTask_clic_play(const QString& senderUuid);
    void progressTask_clic_pause(const QString& senderUuid);
    void progressTask_clic_stop(const QString& senderUuid);
    void processTask_have_new_logs(const QStringList& nArrLogs, const QString& uuidSender);
    void processTask_update_progress(const ProgressTaskInfo& nInfo, const QString& uuidSender);
    void processTask_update_state(const ProcessingStateObj& nStateObj, const QString& uuidSender);
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

    // A new task for the window's movie (a child of the window, not started), or null
    // after writing in the report why none can run.
    virtual BaseProcessTask* createTask() = 0;
    // What the report says before the task's first log lines.
    virtual QString reportHeader() const = 0;
    // A batch of the current task's log lines, never empty: appended to the report.
    virtual void appendTaskLogs(const QStringList& lines);
    // The current task's new public state, after the progress row has shown it. By
    // default a finished run (not a stopped or failed one) writes its results.
    virtual void taskStateChanged(uint32_t state);
    virtual void writeResults() {}
    // The message after a report that could not be written to `chosenPath`, the file
    // the user chose.
    virtual QString saveFailedText(const QString& chosenPath) const;

    // The task the window runs now, null before the first start and after dropTask.
    BaseProcessTask* currentTask() const { return m_task; }
    // Stops the current task, waits for it, deletes it and forgets it.
    void dropTask();
    // The stop the user asks for (the stop button, every way of closing): waits for the
    // task, or with m_stopWithoutWaiting makes the request alone.
    void stopTaskOnRequest();
    // Connects the row's play, pause and stop buttons to this window.
    void followProgressRow(ViewProgressTask* row);

    // Replaces the message shown last with a new one.
    void showMessage(const QString& text);

    // The loudness and benchmark windows trace their play, pause and stop buttons on
    // the console as "start_process", "pause_process" and "stop_process".
    bool m_traceButtons = false;
    // Whether closing the window (Close, Escape, window close) stops the task. A window
    // that clears it keeps receiving the task's signals while hidden, so showing it
    // again shows the run so far; its owner stops the task when the movie goes.
    bool m_stopOnClose = true;
    // Whether the stops the user asks for, and stopTask, return at once instead of
    // waiting for the task's body to see them, which may take a whole step of its work;
    // the run then ends stopped when the body gets there, reported by its state signal
    // as any end. The task then belongs to the window's parent, if it has one, so the
    // window can be deleted meanwhile: the task goes by itself once its body has ended
    // (a parent deleted first waits for it). Only for a task whose body uses nothing of
    // the window, the movie or its tracks once it is made.
    bool m_stopWithoutWaiting = false;
    // Set by followProgressRow; a child widget the derived window places.
    ViewProgressTask* m_progress = nullptr;
    // The report: the header, the task's logs and the results; what Save writes. A
    // child widget the derived window makes and places.
    ViewTextScrollable* m_report = nullptr;
    // The movie the task runs on; not owned, null once closed.
    QPointer<FileToPlay> m_movie;

private:
    bool isCurrentTask(const QString& uuid) const;
    void saveResults();

    QString m_reportSuffix;
    QString m_saveCaption;
    // Guarded: after a stop that did not wait, the window's parent may delete the task
    // before the window.
    QPointer<BaseProcessTask> m_task;
    DialogSimpleMsg* m_message = nullptr;
};
