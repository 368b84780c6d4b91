#include "tools/view_progress_task.h"

#include <QDebug>

#include "ui/view_btn_image.h"
#include "ui/view_label.h"
#include "ui/view_progress_bar_task.h"

namespace {
const QColor kBarBackground(23, 43, 55);
const QColor kGreen(0, 159, 115);
const QColor kAmber(254, 178, 7);
const QColor kGrey(101, 101, 101);
const char kFpsTooltip[] = "Number of video frames process by second";
}  // namespace

ViewProgressTask::ViewProgressTask(QWidget* parent, const QRect& geometry, const QString& senderUuid)
    : QWidget(parent), m_uuid(senderUuid) {
    setGeometry(geometry);
    m_bar = new ViewTaskProgressBar(this, QRect(0, 0, 186, 30));
    m_bar->setBackgroundColor(kBarBackground);
    m_bar->setBarBrush(kGreen);
    const char* captions[3] = {"Elapsed:", "Est. remain:", "Process fps:"};
    const int value_widths[3] = {65, 78, 78};
    for (int i = 0; i < 3; ++i) {
        m_captions[i] = new ViewLabel(this, QRect(0, 0, 85, 20), captions[i], 3);
        m_values[i] = new ViewLabel(this, QRect(0, 0, value_widths[i], 20), "-", 5);
    }
    m_captions[2]->setToolTip(kFpsTooltip);
    m_values[2]->setToolTip(kFpsTooltip);
    m_playPause = new ViewBtnImage(this, QRect(0, 0, 20, 20),
                                   QStringList{":/Rsc/RESSOURCES_UI/PLAY.png", ":/Rsc/RESSOURCES_UI/PAUSE.png"});
    m_playPause->setToolTip("Start/Pause processing");
    m_stop = new ViewBtnImage(this, QRect(0, 0, 20, 20), ":/Rsc/RESSOURCES_UI/STOP.png");
    m_stop->setToolTip("Cancel processing");
    m_stop->disable();
    connect(m_playPause, &ViewBtnImage::ViewBtnImage_Clic, this, &ViewProgressTask::act_btn_play_pause);
    connect(m_stop, &ViewBtnImage::ViewBtnImage_Clic, this, &ViewProgressTask::act_btn_stop);
    updateLayout();
}

void ViewProgressTask::updateLayout() {
    const QSize bar = m_bar->size();
    const int side = m_stop->width();
    m_bar->move(0, 0);
    m_playPause->setGeometry(bar.width() + 10, 12, side, side);
    m_stop->setGeometry(m_playPause->x() + side + 10, 12, side, side);
    const int caption_width = m_captions[0]->width();
    for (int i = 0; i < 3; ++i) {
        const int y = bar.height() + 10 + 25 * i;
        m_captions[i]->setGeometry(0, y, caption_width, 20);
        m_values[i]->setGeometry(caption_width + 5, y, width() - caption_width - 5, 20);
    }
}

void ViewProgressTask::act_btn_play_pause() {
    if (m_playPause->imageIndex() == 1) emit progressTask_clic_play(m_uuid);
    else emit progressTask_clic_pause(m_uuid);
}

void ViewProgressTask::act_btn_stop() { emit progressTask_clic_stop(m_uuid); }

void ViewProgressTask::updateProgress(const ProgressTaskInfo& info) {
    m_bar->setProgress(info.percent);
    m_values[0]->setText(info.elapsedText);
    m_values[1]->setText(info.remainingText);
    m_values[2]->setText(info.fpsText);
}

void ViewProgressTask::resetProgress() {
    m_bar->resetProgress();
    for (ViewLabel* value : m_values) value->setText(QString());
}

void ViewProgressTask::updateState(uint32_t state) {
    switch (state) {
        case ProcessTaskState_Idle:
            m_stop->disable();
            m_playPause->enable();
            m_bar->setBarBrush(kGreen);
            return;
        case ProcessTaskState_Running:
        case ProcessTaskState_Pause:
            m_stop->enable();
            m_playPause->enable();
            m_playPause->setImageIndex(state == ProcessTaskState_Running ? 1 : 0, false);
            m_bar->setBarBrush(state == ProcessTaskState_Running ? kGreen : kAmber);
            return;
        case ProcessTaskState_Stop:
        case ProcessTaskState_Stopped:
        case ProcessTaskState_Finished:
        case ProcessTaskState_FinishedWithWarnings:
        case ProcessTaskState_Failed:
            m_stop->disable();
            m_playPause->disable();
            m_playPause->setImageIndex(0, false);
            m_bar->setBarBrush(state == ProcessTaskState_Finished ? kGrey : kGreen);
            return;
        default:
            // A task never sends another value: a look guessed for it could offer a
            // button the task cannot honour.
            qDebug("Unknown task state : %u", state);
            return;
    }
}

void ViewProgressTask::processTask_update_state(const ProcessingStateObj& nStateObj, const QString& uuidSender) {
    if (uuidSender == m_uuid) updateState(nStateObj.state);
}

void ViewProgressTask::processTask_update_progress(const ProgressTaskInfo& nInfo, const QString& uuidSender) {
    if (uuidSender == m_uuid) updateProgress(nInfo);
}
