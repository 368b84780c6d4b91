#include "tools/base_task_dialog.h"

#include <QCloseEvent>
#include <QDebug>
#include <QFileInfo>

#include "tools/report_save.h"
#include "tools/view_progress_task.h"
#include "ui/base_process_task.h"
#include "ui/dialog_ask.h"
#include "ui/view_text_scrollable.h"

BaseTaskDialog::BaseTaskDialog(QWidget* parent, const QRect& geometry, const QString& title)
    : BaseDialog(parent, geometry, title) {}

void BaseTaskDialog::stopTask() {
    if (BaseProcessTask* task = currentTask()) task->stop();
}

void BaseTaskDialog::followProgressRow(ViewProgressTask* row) {
    m_progress = row;
    connect(row, &ViewProgressTask::progressTask_clic_play, this, &BaseTaskDialog::progressTask_clic_play);
    connect(row, &ViewProgressTask::progressTask_clic_pause, this, &BaseTaskDialog::progressTask_clic_pause);
    connect(row, &ViewProgressTask::progressTask_clic_stop, this, &BaseTaskDialog::progressTask_clic_stop);
}

void BaseTaskDialog::followTask(BaseProcessTask* task) {
    connect(task, &BaseProcessTask::processTask_have_new_logs, this, &BaseTaskDialog::processTask_have_new_logs);
    connect(task, &BaseProcessTask::processTask_update_progress, this, &BaseTaskDialog::processTask_update_progress);
    connect(task, &BaseProcessTask::processTask_update_state, this, &BaseTaskDialog::processTask_update_state);
    if (m_progress) m_progress->resetProgress();
}

void BaseTaskDialog::progressTask_clic_pause(const QString&) {
    if (m_traceButtons) qDebug().noquote() << "pause_process";
    if (BaseProcessTask* task = currentTask()) task->requestPause();
}

void BaseTaskDialog::progressTask_clic_stop(const QString&) {
    if (m_traceButtons) qDebug().noquote() << "stop_process";
    stopTask();
}

bool BaseTaskDialog::isCurrentTask(const QString& uuid) const {
    const BaseProcessTask* task = currentTask();
    return task && task->uuid() == uuid;
}

void BaseTaskDialog::processTask_have_new_logs(const QStringList& nArrLogs, const QString& uuidSender) {
    if (nArrLogs.isEmpty() || !isCurrentTask(uuidSender)) return;
    appendTaskLogs(nArrLogs);
}

void BaseTaskDialog::processTask_update_progress(const ProgressTaskInfo& nInfo, const QString& uuidSender) {
    if (isCurrentTask(uuidSender) && m_progress) m_progress->updateProgress(nInfo);
}

void BaseTaskDialog::processTask_update_state(const ProcessingStateObj& nStateObj, const QString& uuidSender) {
    if (!isCurrentTask(uuidSender)) return;
    if (m_progress) m_progress->updateState(nStateObj.state);
    taskStateChanged(nStateObj.state);
}

void BaseTaskDialog::taskStateChanged(uint32_t) {}

void BaseTaskDialog::reject() {
    if (m_stopOnClose) stopTask();
    BaseDialog::reject();
}

void BaseTaskDialog::closeEvent(QCloseEvent* event) {
    if (m_stopOnClose) stopTask();
    BaseDialog::closeEvent(event);
}

void BaseTaskDialog::showMessage(const QString& text) {
    if (m_message) m_message->deleteLater();
    m_message = new DialogSimpleMsg(this, text);
    m_message->showDialog(true);
}

bool BaseTaskDialog::saveReport(const ViewTextScrollable* report, const QString& movie_path, const QString& suffix,
                                const QString& caption, QString* proposed_name) {
    if (!report->hasText() || movie_path.isEmpty()) {
        qDebug().noquote() << "No text";
        showMessage(QStringLiteral("No results to save"));
        return true;
    }
    const QFileInfo file(movie_path);
    const QString name = QStringLiteral("%1_%2").arg(file.completeBaseName(), suffix);
    if (proposed_name) *proposed_name = name;
    return saveTextToFile(this, report->text(), name, file.absolutePath(), caption) != SaveTextResult::Failed;
}
