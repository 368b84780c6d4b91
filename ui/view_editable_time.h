#pragma once
// ViewEditableTimeSpendTotal: "current / total" of the transport bar in one of the
// four UiTimemode texts. Ctrl-click on either time cycles the mode, a right-click
// offers the modes in a menu; both report ViewEditableTimeSpendTotal_ChangeTimeMode.
// A plain click on the current time swaps in an entry pre-filled with the shown
// text; ending the edit reports the typed position (NewTimeValue), an offset for a
// text with "+" or "-" (NewTimeValueByOffset) or InvalidNewTime. The typed text is
// read as the inverse of the current mode's display (see time_entry_value.h), so
// confirming an unchanged entry gives back the shown frame.
//
// Nothing is shown and no click is taken before the first setCurrent or setTotal.
// Owned by its Qt parent. GUI thread only.
#include "base/text/time_text.h"

#include <QRect>
#include <QWidget>

#include <cstdint>
#include <functional>

class QAction;
class QMenu;
class QMouseEvent;
class ViewLabel;
class ViewTextEntry;

class ViewEditableTimeSpendTotal : public QWidget {
    Q_OBJECT
public:
    ViewEditableTimeSpendTotal(QWidget* parent, const QRect& geometry);

    void setRate(uint32_t numerator, uint32_t denominator);
    // Timecode mode shows start + frame; no redraw.
    void setTimecodeStart(uint32_t startFrame, uint8_t dropFrame);
    void setLimits(uint32_t startFrame, bool dropFrame) { setTimecodeStart(startFrame, dropFrame ? 1 : 0); }
    void setCurrent(uint32_t frame);
    void setTotal(uint32_t frameCount);
    // Stores the mode as given (values above 3 display as 0), then refreshes. No
    // mode-changed signal: this is the owner's own choice.
    void setModeRefresh(uint32_t mode);
    uint32_t mode() const { return m_mode; }
    void refresh();
    void updateLayout();

    ViewLabel* currentLabel() const { return m_currentLabel; }
    ViewLabel* totalLabel() const { return m_totalLabel; }
    ViewTextEntry* entry() const { return m_entry; }
    bool isEditing() const { return m_editing; }

    // Runs the time-mode menu at a global position and returns the chosen action
    // (null when dismissed). The default is QMenu::exec; tests replace it.
    std::function<QAction*(QMenu& menu, const QPoint& globalPos)> execMenu;

    uint32_t tag = 0;

signals:
    void ViewEditableTimeSpendTotal_NewTimeValue(uint32_t nFrame);
    void ViewEditableTimeSpendTotal_NewTimeValueByOffset(int64_t nFrameOffset);
    void ViewEditableTimeSpendTotal_InvalidNewTime();
    // The user chose another mode (Ctrl-click or the menu).
    void ViewEditableTimeSpendTotal_ChangeTimeMode(UiTimemode mode);

public slots:
    void ViewLabel_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags);
    void ViewLabel_RightClic(uint32_t senderTag, const QMouseEvent* event);
    void act_context_menu_time_mode(uint32_t mode);
    void ViewTextEntry_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags);
    void ViewTextEntry_EndEdit(uint32_t senderTag);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void userSetMode(uint32_t mode);

    ViewLabel* m_currentLabel = nullptr;
    ViewLabel* m_totalLabel = nullptr;
    ViewTextEntry* m_entry = nullptr;
    uint32_t m_mode = UiTimemode_HoursMinutesSecondsFrames;
    float m_rate = 25.0f;
    uint32_t m_numerator = 25;
    uint32_t m_denominator = 1;
    uint32_t m_total = 0;
    uint32_t m_current = 0;
    uint32_t m_timecodeStart = 0;
    uint8_t m_dropFrame = 0;
    bool m_shown = false;
    bool m_editing = false;
};
