#pragma once
// The numeric fields whose typed text is an arithmetic expression ("1920/2",
// "sqrt(2)*100"), computed by ExprEvaluate when the edit ends (focus-out or Return):
//   ViewSpinBoxIntEval   rounds the result and sends ViewSpinboxIntEval_Changed;
//   ViewSpinBoxFloatEval keeps it as a float and sends ViewSpinboxFloatEval_Changed.
// An expression that fails leaves the value and shows the error icon with the
// evaluator's message as tooltip; a result outside the range gives the default and
// the range message; an empty entry gives the default. Only typed text is
// evaluated: an edit ended on the text the box itself put in the entry changes
// nothing. The Changed signal follows every ended edit and arrow click, also when the
// value did not change. The click that starts an edit shows the expression typed
// before, until a value comes from outside (set_value, set_to_default_value), which
// forgets it; further clicks in that edit only move the cursor or select, and keep
// what is being typed. Alt-click resets to the default (the float box then sends
// ViewSpinboxFloatEval_ValueResetToDefault only).
//
// Owned by their Qt parent. GUI thread only. Refused values are logged and the
// previous value stays.
#include "ui/view_spin_box_base.h"

#include <QRect>

#include <cstdint>

class ExprEvaluate;
class View_SimpleImage;

// What both expression boxes share: children, layout, the evaluator, the ended edit,
// the arrows and the clicks. The typed value lives in ViewSpinBoxEval below.
class ViewSpinBoxEvalBase : public ViewSpinBoxBase {
    Q_OBJECT
public:
    // The entry's and the arrows' enabled look; a disabled box's arrows stay dimmed.
    void setEnabledLook(bool enabled);

    // Places entry, arrows and error icon from the current size (also on resize).
    void updateLayout();

    View_SimpleImage* errorIcon() const { return m_icon; }
    ExprEvaluate* evaluator() const { return m_eval; }

    // Written by the owner: sent first in every signal; the entry shows no number
    // (cleared by every accepted value); the next click into the entry empties it.
    uint32_t tag = 0;
    bool blank = false;
    bool clearOnEdit = false;

    // The slots of the base.
    void act_btn_up() override;
    void act_btn_down() override;
    void entry_end_edit() override;
    void ViewTextEntry_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags) override;

protected:
    explicit ViewSpinBoxEvalBase(QWidget* parent, const QRect& geometry);

    // Entry text, error icon and arrows from the current value.
    void refresh();
    // Puts `text` in the entry and remembers it as the box's own, not typed.
    void showInEntry(const QString& text);

    // The range check of an evaluated expression, then its value or, out of range,
    // the default (the expression is kept for the next edit).
    virtual void applyEvaluated() = 0;
    virtual void stepValue(int direction) = 0;
    virtual void emitChanged() = 0;
    virtual void emitResetToDefault() {}
    virtual QString valueText() const = 0;
    virtual bool canGoDown() const = 0;
    virtual bool canGoUp() const = 0;
    virtual void iconShown(const QString&) {}

    void resizeEvent(QResizeEvent* event) override;

    View_SimpleImage* m_icon = nullptr;
    ExprEvaluate* m_eval = nullptr;
    // The text the box last put in the entry; an edit that ends on it typed nothing.
    QString m_shownText;
};

// The typed part of an expression box, one template for both: the range, the default
// and the value (int32_t or float). A minimum above the maximum is refused (the box
// keeps 0..1, value 0); a default outside the range is refused and the minimum takes
// its place.
template <class T>
class ViewSpinBoxEval : public ViewSpinBoxEvalBase {
public:
    // A value from outside the field: it replaces whatever was typed (the expression
    // and its error are forgotten). False, with a log line, outside the range (or
    // NaN); the value and the expression then stay.
    bool set_value(T value);
    void set_to_default_value() override;
    T value() const { return m_value; }
    T minimum() const { return m_min; }
    T maximum() const { return m_max; }
    T defaultValue() const { return m_default; }

    T step = T(1);

protected:
    ViewSpinBoxEval(QWidget* parent, const QRect& geometry, T defaultValue, T minValue, T maxValue);

    void applyEvaluated() override;
    void stepValue(int direction) override;
    QString valueText() const override;
    bool canGoDown() const override { return m_value > m_min; }
    bool canGoUp() const override { return m_value < m_max; }

private:
    // set_value and set_to_default_value, keeping the expression when `typed` (the
    // value comes from what the user typed).
    bool store(T value, bool typed);
    void storeDefault(bool typed);

    T m_min = T(0);
    T m_max = T(1);
    T m_default = T(0);
    T m_value = T(0);
};

extern template class ViewSpinBoxEval<int32_t>;
extern template class ViewSpinBoxEval<float>;

// Rounds the computed result to an integer.
class ViewSpinBoxIntEval : public ViewSpinBoxEval<int32_t> {
    Q_OBJECT
public:
    ViewSpinBoxIntEval(QWidget* parent, const QRect& geometry, int32_t defaultValue, int32_t minValue,
                       int32_t maxValue);

signals:
    void ViewSpinboxIntEval_Changed(uint32_t senderTag, int32_t nVal);

protected:
    void emitChanged() override { emit ViewSpinboxIntEval_Changed(tag, value()); }
    void iconShown(const QString& message) override;
};

// Keeps the computed result as a float (shown with six significant digits).
class ViewSpinBoxFloatEval : public ViewSpinBoxEval<float> {
    Q_OBJECT
public:
    ViewSpinBoxFloatEval(QWidget* parent, const QRect& geometry, float defaultValue, float minValue, float maxValue);

signals:
    void ViewSpinboxFloatEval_Changed(uint32_t senderTag, float nVal);
    void ViewSpinboxFloatEval_ValueResetToDefault(uint32_t senderTag);

protected:
    void emitChanged() override { emit ViewSpinboxFloatEval_Changed(tag, value()); }
    void emitResetToDefault() override { emit ViewSpinboxFloatEval_ValueResetToDefault(tag); }
};
