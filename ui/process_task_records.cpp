#include "ui/process_task_records.h"

QString ProgressTaskInfo::debugPrint() const {
    return QStringLiteral("ProgressTaskInfo : Percent : %1 ; Elapsed Time : %2, Remain Time : %3 ; Fps render : %4 ; Step : %5")
        .arg(percent)
        .arg(elapsedText, remainingText, fpsText)
        .arg(step);
}
