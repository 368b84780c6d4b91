#include "tools/base_task_dialog.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include "movie/file_to_play.h"
#include "tools/report_save.h"
#include "tools/view_progress_task.h"
#include "ui/base_process_task.h"
#include "ui/dialog_ask.h"
#include "ui/view_text_scrollable.h"

BaseTaskDialog::BaseTaskDialog(QWidget* parent, const QRect& geometry, const QString& title,
                               const QString& reportSuffix, const QString& saveCaption)
    : BaseDialog(parent, geometry, title), m_reportSuffix(reportSuffix), m_saveCaption(saveCaption) {
    addOkButton(QStringLiteral("Close"));
    addTaggedButton(QStringLiteral("Save results"), kSaveButtonTag);
}

BaseTaskDialog::~BaseTaskDialog() {
    if (m_task && m_task->parent() != this) {
        // Given to the parent by a stop that did not wait: its end need not be waited
        // for here, nor heard.
        disconnect(m_task, nullptr, this, nullptr);
        m_task->deleteWhenEnded();
        m_task = nullptr;
        return;
    }
    // The task's body may still send signals here: end it while the views live.
    dropTask();
}

void BaseTaskDialog::stopTask() {
    if (m_stopWithoutWaiting)
        stopTaskOnRequest();
    else if (m_task)
        m_task->stop();
}

void BaseTaskDialog::dropTask() {
    if (!m_task) return;
    m_task->stop();
    delete m_task.data();
    m_task = nullptr;
}

void BaseTaskDialog::stopTaskOnRequest() {
    if (!m_task) return;
    if (!m_stopWithoutWaiting) {
        m_task->stop();
        return;
    }
    m_task->requestStop();
    if (QObject* owner = parent()) m_task->setParent(owner);
}

void BaseTaskDialog::followProgressRow(ViewProgressTask* row) {
    m_progress = row;
    connect(row, &ViewProgressTask::progressTask_clic_play, this, &BaseTaskDialog::progressTask_clic_play);
    connect(row, &ViewProgressTask::progressTask_clic_pause, this, &BaseTaskDialog::progressTask_clic_pause);
    connect(row, &ViewProgressTask::progressTask_clic_stop, this, &BaseTaskDialog::progressTask_clic_stop);
}

void BaseTaskDialog::progressTask_clic_play(const QString&) {
    if (m_traceButtons) qDebug().noquote() << "start_process";
    if (m_task) {
        m_task->requestResume();
        return;
    }
    m_task = createTask();
    if (!m_task) return;
    connect(m_task, &BaseProcessTask::processTask_have_new_logs, this, &BaseTaskDialog::processTask_have_new_logs);
    connect(m_task, &BaseProcessTask::processTask_update_progress, this, &BaseTaskDialog::processTask_update_progress);
    connect(m_task, &BaseProcessTask::processTask_update_state, this, &BaseTaskDialog::processTask_update_state);
    if (m_progress) m_progress->resetProgress();
    m_report->appendText(reportHeader(), false);
    m_task->start();
}

void BaseTaskDialog::progressTask_clic_pause(const QString&) {
    if (m_traceButtons) qDebug().noquote() << "pause_process";
    if (m_task) m_task->requestPause();
}

void BaseTaskDialog::progressTask_clic_stop(const QString&) {
    if (m_traceButtons) qDebug().noquote() << "stop_process";
    stopTaskOnRequest();
}

bool BaseTaskDialog::isCurrentTask(const QString& uuid) const { return m_task && m_task->uuid() == uuid; }

void BaseTaskDialog::processTask_have_new_logs(const QStringList& nArrLogs, const QString& uuidSender) {
    if (nArrLogs.isEmpty() || !isCurrentTask(uuidSender)) return;
    appendTaskLogs(nArrLogs);
}

void BaseTaskDialog::appendTaskLogs(const QStringList& lines) {
    // Each batch starts on a line of its own, even after text without a final line feed.
    m_report->appendLines(lines, true);
}

void BaseTaskDialog::processTask_update_progress(const ProgressTaskInfo& nInfo, const QString& uuidSender) {
    if (isCurrentTask(uuidSender) && m_progress) m_progress->updateProgress(nInfo);
}

void BaseTaskDialog::processTask_update_state(const ProcessingStateObj& nStateObj, const QString& uuidSender) {
    if (!isCurrentTask(uuidSender)) return;
    if (m_progress) m_progress->updateState(nStateObj.state);
    taskStateChanged(nStateObj.state);
}

void BaseTaskDialog::taskStateChanged(uint32_t state) {
    if (state == ProcessTaskState_Finished) writeResults();
}

void BaseTaskDialog::reject() {
    if (m_stopOnClose) stopTaskOnRequest();
    BaseDialog::reject();
}

void BaseTaskDialog::closeEvent(QCloseEvent* event) {
    if (m_stopOnClose) stopTaskOnRequest();
    BaseDialog::closeEvent(event);
}

void BaseTaskDialog::showMessage(const QString& text) {
    if (m_message) m_message->deleteLater();
    m_message = new DialogSimpleMsg(this, text);
    m_message->showDialog(true);
}

void BaseTaskDialog::act_btn_bottom_left_btn(uint32_t senderTag) {
    if (senderTag == kSaveButtonTag) saveResults();
}

QString BaseTaskDialog::saveFailedText(const QString& chosenPath) const {
    return QStringLiteral("Can't write file : %1").arg(QDir::toNativeSeparators(chosenPath));
}

void BaseTaskDialog::saveResults() {
    const QString moviePath = m_movie ? m_movie->filePath() : QString();
    if (!m_report->hasText() || moviePath.isEmpty()) {
        qDebug().noquote() << "No text";
        showMessage(QStringLiteral("No results to save"));
        return;
    }
    const QFileInfo file(moviePath);
    const QString name = QStringLiteral("%1_%2").arg(file.completeBaseName(), m_reportSuffix);
    QString chosen;
    if (saveTextToFile(this, m_report->text(), name, file.absolutePath(), m_saveCaption, &chosen) ==
        SaveTextResult::Failed)
        showMessage(saveFailedText(chosen));
}
