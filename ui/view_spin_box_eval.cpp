#include "ui/view_spin_box_eval.h"

#include "ui/expr_evaluate.h"
#include "ui/view_simple_image.h"

#include <QDebug>

#include <algorithm>

namespace {
void log_line(const QString& text) { qDebug().noquote() << text; }
}  // namespace

// ---- shared part ----

ViewSpinBoxEvalBase::ViewSpinBoxEvalBase(QWidget* parent, const QRect& geometry)
    : ViewSpinBoxBase(parent, geometry, QRect(0, 0, 100, geometry.height()), QRect(0, 0, 10, 7),
                      QRect(0, 0, 10, 7)) {
    m_icon = new View_SimpleImage(this, QRect(0, 0, 25, 25), ":/Rsc/RESSOURCES_UI/STATE_ENDED_ERROR.png");
    m_icon->hide();
    m_eval = new ExprEvaluate(this);
    updateLayout();
}

void ViewSpinBoxEvalBase::updateLayout() {
    const int w = width();
    const int h = height();
    const int aw = m_up->width();
    const int ah = m_up->height();
    const int iw = m_icon->width();
    const int ih = m_icon->height();
    const int x0 = w - aw - iw;
    m_entry->setGeometry(0, 0, x0 - 10, h);
    m_up->setGeometry(x0 - 5, h / 2 - ah - 2, aw, ah);
    m_down->setGeometry(x0 - 5, h / 2 + 2, aw, ah);
    m_icon->setGeometry(x0 - 5 + aw + 5, (h - ih) / 2, iw, ih);
}

void ViewSpinBoxEvalBase::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateLayout();
}

void ViewSpinBoxEvalBase::showInEntry(const QString& text) {
    m_entry->setText(text);
    m_shownText = m_entry->text();
}

void ViewSpinBoxEvalBase::refresh() {
    showInEntry(blank ? QString() : valueText());
    if (!m_eval->hasError() && !m_eval->isOutOfRange()) {
        m_icon->hide();
    } else {
        const QString message = m_eval->messageText();
        m_icon->setToolTip(message);
        m_icon->show();
        iconShown(message);
    }
    updateArrows(canGoDown(), canGoUp());
}

void ViewSpinBoxEvalBase::setEnabledLook(bool enabled) {
    m_enabled = enabled;
    m_entry->setEnabledLook(enabled);
    updateArrows(canGoDown(), canGoUp());
}

void ViewSpinBoxEvalBase::entry_end_edit() {
    clearOnEdit = false;
    // Only what the user typed is evaluated. The box's own text (the value, rounded
    // for display, or the expression shown for editing) left as it was changes
    // nothing, so looking into the entry never moves the value.
    if (m_entry->text() != m_shownText) {
        m_eval->setExpression(m_entry->text());
        m_eval->evaluate();
        // A failed expression leaves the value; the icon tells why.
        if (!m_eval->hasError()) applyEvaluated();
    }
    refresh();
    m_entry->unfocus();
    emitChanged();
}

void ViewSpinBoxEvalBase::act_btn_up() {
    m_eval->setExpression(QString());
    clearOnEdit = false;
    refresh();
    stepValue(+1);
    refresh();
    emitChanged();
}

void ViewSpinBoxEvalBase::act_btn_down() {
    m_eval->setExpression(QString());
    clearOnEdit = false;
    refresh();
    stepValue(-1);
    refresh();
    emitChanged();
}

void ViewSpinBoxEvalBase::ViewTextEntry_Clic(uint32_t, Qt::KeyboardModifiers flags) {
    if (flags & Qt::AltModifier) {
        set_to_default_value();
        m_eval->setExpression(QString());
        refresh();
        emitResetToDefault();
        return;
    }
    // Inside an edit in progress a click only places the cursor or selects (Qt has done
    // that); showing the stored text again would throw away what was typed.
    if (m_entry->pressInEdit()) return;
    m_entry->focusEntry();
    if (blank || clearOnEdit) {
        if (clearOnEdit) showInEntry(QString());
        return;
    }
    // The user edits the formula typed before, not its result (there is none once a
    // value came from outside).
    showInEntry(m_eval->isEmpty() ? valueText() : m_eval->expression());
}

// ---- the typed part ----

namespace {
// The class named in the log lines, and the numbers there: "%d" for the integer box,
// "%f" for the float box.
const char* box_name(int32_t) { return "ViewSpinBoxIntEval"; }
const char* box_name(float) { return "ViewSpinBoxFloatEval"; }
QString log_number(int32_t value) { return QString::number(value); }
QString log_number(float value) { return QString::asprintf("%f", double(value)); }

// How the value is shown in the entry (and in the refused-default line).
QString shown_number(int32_t value) { return QString::number(value); }
QString shown_number(float value) { return QString::number(value, 'g', 6); }

// The evaluated expression checked against the range (the fallback when outside).
int32_t checked_result(ExprEvaluate* eval, int32_t minValue, int32_t maxValue, int32_t fallback) {
    return eval->checkRangeInt(minValue, maxValue, fallback);
}
float checked_result(ExprEvaluate* eval, float minValue, float maxValue, float fallback) {
    return eval->checkRangeFloat(minValue, maxValue, fallback);
}

// One arrow step from `value`; integers saturate instead of wrapping.
int32_t stepped(int32_t value, int direction, int32_t step) {
    const int64_t next = int64_t(value) + int64_t(direction) * step;
    return static_cast<int32_t>(std::clamp<int64_t>(next, INT32_MIN, INT32_MAX));
}
float stepped(float value, int direction, float step) { return value + float(direction) * step; }
}  // namespace

template <class T>
ViewSpinBoxEval<T>::ViewSpinBoxEval(QWidget* parent, const QRect& geometry, T defaultValue, T minValue, T maxValue)
    : ViewSpinBoxEvalBase(parent, geometry) {
    const QString box = box_name(T());
    if (minValue > maxValue) {
        log_line("ERREUR : " + box + " : set all values : Min Value (" + log_number(minValue) +
                 ") doit etre inferieure ou egale a maxvalue (" + log_number(maxValue) + ")");
        log_line("Invalid default value");
    } else {
        m_default = defaultValue;
        if (!(defaultValue >= minValue && defaultValue <= maxValue)) {
            log_line("ERREUR : " + box + " : set all values : Default value invalide (" + log_number(defaultValue) +
                     ") (Min Val : " + log_number(minValue) + " : MaxVal : " + log_number(maxValue) + ")");
            log_line("Invalid default value");
            // The box must still hold a value inside its range.
            m_default = minValue;
        }
        m_min = minValue;
        m_max = maxValue;
        set_to_default_value();
    }
    refresh();
}

template <class T>
bool ViewSpinBoxEval<T>::store(T value, bool typed) {
    if (!(value >= m_min && value <= m_max)) {
        log_line("ERREUR : " + QString(box_name(T())) + " : set_value : invalid value : " + log_number(value) +
                 " (Min Value : " + log_number(m_min) + " ; Max Value : " + log_number(m_max));
        return false;
    }
    // A value given from outside (loaded, reset, converted) is not what the old
    // expression computes: kept, the next click would show it and ending that edit
    // would bring its result back.
    if (!typed) m_eval->setExpression(QString());
    m_value = value;
    blank = false;
    refresh();
    return true;
}

template <class T>
void ViewSpinBoxEval<T>::storeDefault(bool typed) {
    if (!store(m_default, typed))
        log_line("ERREUR : " + QString(box_name(T())) + " : set_to_default_value : Erreur setting default value (" +
                 shown_number(m_default) + ")");
}

template <class T>
bool ViewSpinBoxEval<T>::set_value(T value) {
    return store(value, false);
}

template <class T>
void ViewSpinBoxEval<T>::set_to_default_value() {
    storeDefault(false);
}

template <class T>
void ViewSpinBoxEval<T>::applyEvaluated() {
    // The expression stays, with its range message when it gave the default.
    const T value = checked_result(m_eval, m_min, m_max, m_default);
    if (m_eval->isOutOfRange()) storeDefault(true);
    else store(value, true);
}

template <class T>
void ViewSpinBoxEval<T>::stepValue(int direction) {
    set_value(stepped(m_value, direction, step));
}

template <class T>
QString ViewSpinBoxEval<T>::valueText() const {
    return shown_number(m_value);
}

template class ViewSpinBoxEval<int32_t>;
template class ViewSpinBoxEval<float>;

// ---- the two boxes ----

ViewSpinBoxIntEval::ViewSpinBoxIntEval(QWidget* parent, const QRect& geometry, int32_t defaultValue,
                                       int32_t minValue, int32_t maxValue)
    : ViewSpinBoxEval<int32_t>(parent, geometry, defaultValue, minValue, maxValue) {}

void ViewSpinBoxIntEval::iconShown(const QString& message) { log_line("Set picto tooltip : " + message); }

ViewSpinBoxFloatEval::ViewSpinBoxFloatEval(QWidget* parent, const QRect& geometry, float defaultValue,
                                           float minValue, float maxValue)
    : ViewSpinBoxEval<float>(parent, geometry, defaultValue, minValue, maxValue) {}
