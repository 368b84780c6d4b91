#pragma once
// ViewProgressTask: the row that shows one background task in a tool window: the
// progress bar, elapsed / remaining / frames-per-second texts, a play/pause and a stop
// button. It holds no logic of the task: the buttons send the task's identifier, and
// the task's own state and progress signals drive the look (see updateState).
// Owned by its Qt parent; GUI thread only.
#include <QRect>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "ui/process_task_records.h"

class ViewBtnImage;
class ViewLabel;
class ViewTaskProgressBar;

class ViewProgressTask : public QWidget {
    Q_OBJECT
public:
    ViewProgressTask(QWidget* parent, const QRect& geometry, const QString& senderUuid);

    const QString& senderUuid() const { return m_uuid; }
    // The bar shows the percentage, the labels the three texts.
    void updateProgress(const ProgressTaskInfo& info);
    // The look of a task state:
    //   0 idle            stop off, play/pause on, picture kept, green
    //   2 running         both on, pause shown, green
    //   3 paused          both on, play shown, amber
    //   4, 5, 7, 8        both off, play shown, green
    //   6 finished        both off, play shown, grey
    // Any other value is logged ("Unknown task state : N") and changes nothing.
    void updateState(uint32_t state);
    // The bar back to 0 and the three values empty.
    void resetProgress();
    void updateLayout();

    ViewTaskProgressBar* progressBar() const { return m_bar; }
    ViewBtnImage* playPauseButton() const { return m_playPause; }
    ViewBtnImage* stopButton() const { return m_stop; }
    ViewLabel* elapsedValue() const { return m_values[0]; }
    ViewLabel* remainingValue() const { return m_values[1]; }
    ViewLabel* fpsValue() const { return m_values[2]; }

signals:
    void progressTask_clic_play(const QString& senderUuid);
    void progressTask_clic_pause(const QString& senderUuid);
    void progressTask_clic_stop(const QString& senderUuid);

public slots:
    // The play/pause button has already stepped to its other picture: pause shown
    // (1) means the user asked to run, play shown (0) to pause.
    void act_btn_play_pause();
    void act_btn_stop();
    // The task's signals; records of another task are ignored.
    void processTask_update_state(const ProcessingStateObj& nStateObj, const QString& uuidSender);
    void processTask_update_progress(const ProgressTaskInfo& nInfo, const QString& uuidSender);

private:
    QString m_uuid;
    ViewTaskProgressBar* m_bar;
    ViewLabel* m_captions[3];
    ViewLabel* m_values[3];
    ViewBtnImage* m_playPause;
    ViewBtnImage* m_stop;
};
