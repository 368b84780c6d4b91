#pragma once
// ViewBottomCtrl: the transport bar under the video. Twelve image buttons (snapshot,
// set in/out, start, previous, play reverse, play, next, end, play mode, full screen,
// information), the editable time display and the volume controls. It turns clicks,
// with their Shift/Alt modifiers, into signals that the main window connects to its
// slots of the same names, and shows the playback state through a few setters. As
// the bar narrows, the less important controls are hidden.
// Owned by its Qt parent; does not own the preferences store. GUI thread only.
#include <QWidget>
#include <cstdint>

#include "base/text/time_text.h"

class GlobalSettings;
class QMouseEvent;
class ViewBtnImage;
class ViewEditableTimeSpendTotal;
class ViewVolumeControls;

class ViewBottomCtrl : public QWidget {
    Q_OBJECT
public:
    // The buttons' sender tags.
    enum Button : uint32_t {
        Button_Snapshot = 1,
        Button_SetIn = 2,
        Button_SetOut = 3,
        Button_Start = 4,
        Button_Prev = 5,
        Button_Play = 6,
        Button_PlayReverse = 7,
        Button_Next = 8,
        Button_End = 9,
        Button_PlayMode = 10,
        Button_FullScreen = 11,
        Button_Information = 12,
    };

    ViewBottomCtrl(QWidget* parent, GlobalSettings* settings);

    // Enabled look of every button that needs a movie (start, previous, play reverse,
    // play, next, end, snapshot, information, set in, set out); a dimmed button
    // ignores presses. Play mode, full screen, time and volume are left alone.
    void setControlsEnabled(bool enabled);
    // 0: both play buttons show play; forward: play shows pause; backward: play
    // reverse shows pause. No animation.
    void setPlayStepImages(int32_t step);
    void setPlayModeLoop(bool loop);
    bool isPlayModeLoop() const;

    ViewEditableTimeSpendTotal* timeDisplay() const { return m_time; }
    ViewVolumeControls* volumeControls() const { return m_volume; }
    // The button of a tag (1 to 12), else null.
    ViewBtnImage* button(uint32_t tag) const;

signals:
    void viewControlsClicStart();
    void viewControlsClicGoToIn();
    void viewControlsClicPrevFrame();
    void viewControlsClicPrev10Frames();
    void viewControlsClicPrevSecond();
    void viewControlsClicPlayReverse();
    void viewControlsClicPlay();
    void viewControlsClicNextFrame();
    void viewControlsClicNext10Frames();
    void viewControlsClicNextSecond();
    void viewControlsClicEnd();
    void viewControlsClicGoToOut();
    void viewControlsClicFullScreen();
    void viewControlsClicInformation();
    void viewControlsClicSnapshot();
    // PlayMode: 1 loop, 0 play once.
    void viewControlsClicPlayMode(uint32_t nMode);
    // The event is valid only during the emission.
    void viewControlsRightClicSnapshot(const QMouseEvent* event);
    void viewControlsClicSetIn();
    void viewControlsClicSetOut();
    void viewControlsClicResetIn();
    void viewControlsClicResetOut();
    void viewControlsSetNewTimeFrame(uint32_t nFrames);
    void viewControlsSetNewTimeFrameOffset(int64_t nFramesOffset);
    void viewControlsTimemodeChanged();

public slots:
    void ViewBtnImage_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags);
    void ViewBtnImage_RightClic(uint32_t senderTag, QMouseEvent* event);
    void ViewEditableTimeSpendTotal_NewTimeValue(uint32_t nFrame);
    void ViewEditableTimeSpendTotal_NewTimeValueByOffset(int64_t nFrameOffset);
    void ViewEditableTimeSpendTotal_InvalidNewTime();
    // Keeps the mode in the preferences (ui_timemode).
    void ViewEditableTimeSpendTotalDelegate_ChangeTimeMode(UiTimemode mode);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ViewBtnImage* addButton(uint32_t tag, QSize size, const QStringList& images, const QString& tooltip);

    GlobalSettings* m_settings;
    ViewBtnImage* m_buttons[13] = {};  // by tag; 0 unused
    ViewEditableTimeSpendTotal* m_time = nullptr;
    ViewVolumeControls* m_volume = nullptr;
};
