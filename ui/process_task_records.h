#pragma once
// The records a background task (BaseProcessTask) sends to its dialogs: its state and
// a progress snapshot. Plain copyable values, registered with Qt's meta-type system,
// so they travel by value over queued connections: the receiver may keep them, and
// nothing is left for anyone to delete. Any thread.
#include <QMetaType>
#include <QString>

#include <cstdint>

// The states of a task. No other values are used.
enum ProcessTaskState : uint32_t {
    ProcessTaskState_Idle = 0,                  // never started
    ProcessTaskState_Running = 2,
    ProcessTaskState_Pause = 3,                 // pause requested, then paused
    ProcessTaskState_Stop = 4,                  // stop requested / stopped on request
    ProcessTaskState_Stopped = 5,               // accepted everywhere as an ended stop
    ProcessTaskState_Finished = 6,
    ProcessTaskState_FinishedWithWarnings = 7,
    ProcessTaskState_Failed = 8,
};

// A progress snapshot of the task's current step.
struct ProgressTaskInfo {
    uint32_t percent = 0;
    double elapsedSeconds = 0.0;
    double remainingSeconds = 0.0;
    QString elapsedText;     // "1min 30s", or "-" when nothing elapsed
    QString remainingText;   // "-" when unknown or done
    QString fpsText;         // "0.83 f/s", or empty
    uint32_t step = 0;

    // "ProgressTaskInfo : Percent : 25 ; Elapsed Time : 30s, Remain Time : ..."
    QString debugPrint() const;
};

// The state a task just entered.
struct ProcessingStateObj {
    uint32_t state = ProcessTaskState_Idle;
};

Q_DECLARE_METATYPE(ProgressTaskInfo)
Q_DECLARE_METATYPE(ProcessingStateObj)
