#pragma once
// BaseProcessTask: the base of every long tool job (file test, loudness analysis,
// benchmark). A derived task supplies its body, coreProcessFunc(); start() runs it on
// a thread of the task's own (never on Qt's global pool, so a 2-core machine cannot
// starve the progress and log signals). The body reports through steps, progress,
// log lines and its state; the GUI asks for pause, resume and stop.
//
// Threads: the GUI thread creates and owns the task and calls start, stop,
// requestStop, deleteWhenEnded, requestPause, requestResume and publicState. The
// body calls the rest on its own thread. One mutex guards every field; it is never held while a signal is emitted,
// while sleeping or while waiting for the body.
//
// Signals, each carrying the task's identifier ("{xxxxxxxx-...}") as uuidSender:
// - processTask_have_new_logs: the log lines not sent before; at most once per second
//   (DelayAction), and once more at finish when there are new lines;
// - processTask_update_progress: a snapshot; at most every 500 ms and once at finish;
// - processTask_update_state: on every setState, from the thread that set it.
// Records travel by value (process_task_records.h).
//
// Errors: an exception escaping the body is caught here, logged as
// "ERREUR : Fail to process : <what>" (or ", memory error" / ", unknown error") and
// the task ends failed (state 8), so no dialog waits for a task that is gone.
//
// Console report mode (unused by the player) prints "INFO : Start step : <name>" and
// "PROGRESS : <n> %" lines instead of relying on the progress signal.
#include "ui/process_task_records.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>

class DelayAction;
class QThread;

class BaseProcessTask : public QObject {
    Q_OBJECT
public:
    explicit BaseProcessTask(QObject* parent = nullptr);
    // Stops and waits for a running body. A derived task whose body uses its own
    // members calls stop() in its destructor, before those members go.
    ~BaseProcessTask() override;

    // GUI thread.
    // Ends a previous run (stop), sets state 2 and runs the body on a new thread.
    void start();
    // When running: public state 4, sets the cancel flag, waits for the body to end,
    // run state 4. One end per run, whichever comes first: a body that sets its end
    // state (5 to 8) before seeing the stop, before the call or while it waits, keeps
    // it (run and public state), so both tell the last state it sent. Sends no state
    // signal itself. Never un-done: the task object runs once.
    void stop();
    // The same request without the wait, for a window that must keep answering while a
    // body is inside a long step: returns at once; the body ends at its next check and
    // sends its end state (4, or the end it reached before seeing the request) as every
    // end is sent; the run state follows when it does. A stop() afterwards still waits
    // for the body.
    void requestStop();
    // Gives the task up: requests a stop (without waiting) and deletes the task from
    // the GUI thread's event loop once its body has ended, or at the loop's next turn
    // when no body runs. The caller keeps no pointer to it. A parent deleting it
    // before then still waits for the body.
    void deleteWhenEnded();
    void requestPause();   // public state 3, ignored after a stop
    void requestResume();  // public state 2, ignored after a stop
    uint32_t publicState() const;

    uint32_t runState() const { return m_runState.load(); }
    QString uuid() const { return m_uuid; }

    // Body thread.
    // Run state = s; public state = s, or 4 when a stop was requested and s is running
    // or paused; emits the state.
    void setState(uint32_t s);
    // Starts step i: closes the previous step's time into the total, restarts the
    // step clock and counters.
    void startStep(uint32_t step);
    // Fraction 0..1 of the current step.
    void updateProgress(float fraction);
    // Progress as frame / step frame count; logs
    // "Error: update progress without frame duration" when that count is 0.
    void updateProgressFrames(uint32_t frame);
    void appendLog(const QString& line);
    void appendLogs(const QStringList& lines);
    // Blocks while the public state is 3 (paused time is not counted); on resume
    // sets state 2. Returns early when a stop is requested (state stays 3).
    void waitWhilePaused();
    // Between two steps of a body: waits while a pause is requested, then tells whether
    // the body may go on; false once a stop was requested (the run state is then 4).
    bool continueAfterPause();
    // The report of an error that ended a body's loop, from inside its catch block: the
    // console line "ERREUR : process file : <what>" and the log line
    // "ERREUR : Fail to process : %1" (or its ", memory error" and ", unknown error"
    // variants for std::bad_alloc and anything else).
    void logProcessError();
    // Ends the task: state 8 (failed), 7 (warnings) or 6 when running; a stop (4, 5)
    // is kept; any other state logs "ERROR : Invalid end state : <n>". Then sends the
    // last logs and the final snapshot (console: "PROGRESS : 100 %").
    void finish(bool failed, bool withWarnings);

    void setStepFrameCount(uint32_t frames);
    uint32_t stepFrameCount() const;
    // Whole-task frame counters for the final snapshot; 0 total = unused.
    void setTotalFrames(int64_t frames);
    void setFramesDone(uint64_t frames);

    // The snapshot of the current step.
    ProgressTaskInfo makeProgressInfo() const;
    // The same from explicit numbers: progress fraction, closed seconds of earlier
    // steps, seconds of the current step, its frame count and index.
    static ProgressTaskInfo makeProgressInfo(float progress, double totalSeconds, double stepSeconds,
                                             uint32_t stepFrameCount, uint32_t step);
    // "1h 2min 5s", "1h 0min", "1min 30s", "1min", "0s"; "NA" when negative.
    static QString formatDuration(double seconds);

    // Console report mode: progress lines go to `out` (stdout by default); the name
    // printed for step i is stepNames[i].
    void setConsoleReport(bool console, std::FILE* out = stdout);
    void setStepNames(const QStringList& names);
    // Emitter delays (default 1000 ms for logs, 500 ms for progress).
    void setEmitterDelays(uint32_t logsMs, uint32_t progressMs);

signals:
    void processTask_have_new_logs(const QStringList& nArrLogs, const QString& uuidSender);
    void processTask_update_progress(const ProgressTaskInfo& nInfo, const QString& uuidSender);
    void processTask_update_state(const ProcessingStateObj& nStateObj, const QString& uuidSender);

public slots:
    void act_delay_update_logs();
    void act_delay_update_progress();

protected:
    // The task body. The base version only logs "Warning base coreprocessfunc".
    virtual void coreProcessFunc();

private:
    void runBody();
    // Under the mutex: sets the cancel flag and public state 4 and wakes a paused body,
    // unless the body has already set its end state; true when it had.
    bool askStopLocked();
    QStringList takeLogs();
    double closeSegmentLocked();  // seconds of the open segment, closing it
    void printLine(const QByteArray& line);

    bool m_signalMode = true;
    std::FILE* m_out = stdout;
    std::atomic<uint32_t> m_lastPrintedPercent{UINT32_MAX};
    QString m_uuid;
    uint32_t m_stepFrameCount = 0;
    int64_t m_totalFrames = 0;
    uint64_t m_framesDone = 0;
    std::atomic<bool> m_running{false};
    QStringList m_stepNames;
    mutable QMutex m_mutex;
    QWaitCondition m_stateChanged;  // wakes the pause wait on resume or stop
    std::atomic<uint32_t> m_currentStep{0};
    std::atomic<uint32_t> m_runState{ProcessTaskState_Idle};
    std::atomic<uint32_t> m_publicState{ProcessTaskState_Idle};
    std::atomic<bool> m_cancel{false};
    std::unique_ptr<QThread> m_thread;
    double m_totalSeconds = 0.0;
    double m_stepSeconds = 0.0;
    float m_progress = 0.0f;
    QElapsedTimer m_segment;  // invalid when no running segment is open
    QStringList m_logs;
    std::atomic<uint32_t> m_deliveredLogs{0};
    DelayAction* m_progressEmitter = nullptr;
    DelayAction* m_logEmitter = nullptr;
};
