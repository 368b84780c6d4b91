#pragma once
// ViewSpinBoxInt: an integer field typed as digits, with up and down arrows. The
// typed number is clamped to the range; an empty or unreadable entry gives the
// default; Alt-click in the entry restores the default. Every accepted value is
// snapped down to a multiple of `snapping` (floor, so -7 snaps to -10 with 5; a
// multiple of 0 counts as 1). A value outside the range is refused with a log line
// and the previous value stays.
//
// Owned by its Qt parent. GUI thread only.
#include "ui/view_spin_box_base.h"

#include <QRect>

#include <cstdint>

class ViewSpinBoxInt : public ViewSpinBoxBase {
    Q_OBJECT
public:
    // A minimum above the maximum is refused (range and value stay 0); a default
    // outside the range is refused and the minimum takes its place.
    ViewSpinBoxInt(QWidget* parent, const QRect& geometry, int32_t defaultValue, int32_t minValue,
                   int32_t maxValue);

    // False, with a log line, when the snapped value lies outside the range.
    bool set_value(int32_t value);
    void set_to_default_value() override;
    int32_t value() const { return m_value; }
    int32_t minimum() const { return m_min; }
    int32_t maximum() const { return m_max; }
    int32_t defaultValue() const { return m_default; }

    void setEnabledLook(bool enabled);

    // Written by the owner: the arrows' step, the snapping multiple, and whether the
    // entry shows no number.
    int32_t step = 1;
    uint32_t snapping = 1;
    bool blank = false;

signals:
    void act_spinbox_value_changed();

public:
    // The slots of the base.
    void act_btn_up() override;
    void act_btn_down() override;
    void entry_end_edit() override;
    void ViewTextEntry_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags) override;

private:
    void refresh();
    void logDefaultRefused();

    int32_t m_min = 0;
    int32_t m_max = 0;
    int32_t m_default = 0;
    int32_t m_value = 0;
};
