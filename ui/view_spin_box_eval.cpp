#include "ui/view_spin_box_eval.h"

#include "ui/expr_evaluate.h"
#include "ui/view_simple_image.h"

#include <QDebug>

#include <algorithm>

namespace {
void log_line(const QString& text) { qDebug().noquote() << text; }
}  // namespace

// ---- shared part ----

ViewSpinBoxEvalBase::ViewSpinBoxEvalBase(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    setGeometry(geometry);
    const int h = geometry.height();
    m_parts = spin_box_make_parts(this, QRect(0, 0, 100, h), QRect(0, 0, 10, 7), QRect(0, 0, 10, 7));
    m_icon = new View_SimpleImage(this, QRect(0, 0, 25, 25), ":/Rsc/RESSOURCES_UI/STATE_ENDED_ERROR.png");
    m_icon->hide();
    m_eval = new ExprEvaluate(this);
    updateLayout();
}

void ViewSpinBoxEvalBase::updateLayout() {
    const int w = width();
    const int h = height();
    const int aw = m_parts.up->width();
    const int ah = m_parts.up->height();
    const int iw = m_icon->width();
    const int ih = m_icon->height();
    const int x0 = w - aw - iw;
    m_parts.entry->setGeometry(0, 0, x0 - 10, h);
    m_parts.up->setGeometry(x0 - 5, h / 2 - ah - 2, aw, ah);
    m_parts.down->setGeometry(x0 - 5, h / 2 + 2, aw, ah);
    m_icon->setGeometry(x0 - 5 + aw + 5, (h - ih) / 2, iw, ih);
}

void ViewSpinBoxEvalBase::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateLayout();
}

void ViewSpinBoxEvalBase::refresh() {
    m_parts.entry->setText(blank ? QString() : valueText());
    if (!m_eval->hasError() && !m_eval->isOutOfRange()) {
        m_icon->hide();
    } else {
        const QString message = m_eval->messageText();
        m_icon->setToolTip(message);
        m_icon->show();
        iconShown(message);
    }
    spin_box_arrow_looks(m_parts, m_enabled, canGoDown(), canGoUp());
}

void ViewSpinBoxEvalBase::setEnabledLook(bool enabled) {
    m_enabled = enabled;
    m_parts.entry->setEnabledLook(enabled);
    spin_box_arrow_looks(m_parts, m_enabled, canGoDown(), canGoUp());
}

void ViewSpinBoxEvalBase::entry_end_edit() {
    m_eval->setExpression(m_parts.entry->text());
    clearOnEdit = false;
    m_eval->evaluate();
    // A failed expression leaves the value; the icon tells why.
    if (!m_eval->hasError()) applyEvaluated();
    refresh();
    m_parts.entry->unfocus();
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
    m_parts.entry->focusEntry();
    if (blank || clearOnEdit) {
        if (clearOnEdit) m_parts.entry->setText(QString());
        return;
    }
    // The user edits the formula typed before, not its result.
    m_parts.entry->setText(m_eval->isEmpty() ? valueText() : m_eval->expression());
}

void ViewSpinBoxEvalBase::mousePressEvent(QMouseEvent* event) { spin_box_press(this, m_parts, m_enabled, event); }

// ---- the typed boxes ----

namespace {
// Numbers in the log lines: "%d" for the integer box, "%f" for the float box.
QString log_number(int32_t value) { return QString::number(value); }
QString log_number(float value) { return QString::asprintf("%f", double(value)); }

// Checks the construction arguments of `box`: false when the range is refused;
// otherwise true with the default to use (the minimum when the given one is
// outside the range, so the box still holds a value inside it).
template <class T>
bool accept_range(const QString& box, T defaultValue, T minValue, T maxValue, T* acceptedDefault) {
    if (minValue > maxValue) {
        log_line("ERREUR : " + box + " : set all values : Min Value (" + log_number(minValue) +
                 ") doit etre inferieure ou egale a maxvalue (" + log_number(maxValue) + ")");
        log_line("Invalid default value");
        return false;
    }
    *acceptedDefault = defaultValue;
    if (!(defaultValue >= minValue && defaultValue <= maxValue)) {
        log_line("ERREUR : " + box + " : set all values : Default value invalide (" + log_number(defaultValue) +
                 ") (Min Val : " + log_number(minValue) + " : MaxVal : " + log_number(maxValue) + ")");
        log_line("Invalid default value");
        *acceptedDefault = minValue;
    }
    return true;
}

// False, with the log line of `box`, outside [min, max] (and for NaN).
template <class T>
bool value_in_range(const QString& box, T value, T minValue, T maxValue) {
    if (value >= minValue && value <= maxValue) return true;
    log_line("ERREUR : " + box + " : set_value : invalid value : " + log_number(value) + " (Min Value : " +
             log_number(minValue) + " ; Max Value : " + log_number(maxValue));
    return false;
}

void log_default_refused(const QString& box, const QString& defaultValue) {
    log_line("ERREUR : " + box + " : set_to_default_value : Erreur setting default value (" + defaultValue + ")");
}
}  // namespace

ViewSpinBoxIntEval::ViewSpinBoxIntEval(QWidget* parent, const QRect& geometry, int32_t defaultValue,
                                       int32_t minValue, int32_t maxValue)
    : ViewSpinBoxEvalBase(parent, geometry) {
    if (accept_range("ViewSpinBoxIntEval", defaultValue, minValue, maxValue, &m_default)) {
        m_min = minValue;
        m_max = maxValue;
        set_to_default_value();
    }
    refresh();
}

bool ViewSpinBoxIntEval::set_value(int32_t value) {
    if (!value_in_range("ViewSpinBoxIntEval", value, m_min, m_max)) return false;
    m_value = value;
    blank = false;
    refresh();
    return true;
}

void ViewSpinBoxIntEval::set_to_default_value() {
    if (!set_value(m_default)) log_default_refused("ViewSpinBoxIntEval", QString::number(m_default));
}

void ViewSpinBoxIntEval::applyEvaluated() {
    const int32_t value = m_eval->checkRangeInt(m_min, m_max, m_default);
    if (m_eval->isOutOfRange()) set_to_default_value();
    else set_value(value);
}

void ViewSpinBoxIntEval::stepValue(int direction) {
    const int64_t next = int64_t(m_value) + int64_t(direction) * step;
    set_value(static_cast<int32_t>(std::clamp<int64_t>(next, INT32_MIN, INT32_MAX)));
}

QString ViewSpinBoxIntEval::valueText() const { return QString::number(m_value); }

void ViewSpinBoxIntEval::iconShown(const QString& message) { log_line("Set picto tooltip : " + message); }

ViewSpinBoxFloatEval::ViewSpinBoxFloatEval(QWidget* parent, const QRect& geometry, float defaultValue,
                                           float minValue, float maxValue)
    : ViewSpinBoxEvalBase(parent, geometry) {
    if (accept_range("ViewSpinBoxFloatEval", defaultValue, minValue, maxValue, &m_default)) {
        m_min = minValue;
        m_max = maxValue;
        set_to_default_value();
    }
    refresh();
}

bool ViewSpinBoxFloatEval::set_value(float value) {
    if (!value_in_range("ViewSpinBoxFloatEval", value, m_min, m_max)) return false;
    m_value = value;
    blank = false;
    refresh();
    return true;
}

void ViewSpinBoxFloatEval::set_to_default_value() {
    if (!set_value(m_default)) log_default_refused("ViewSpinBoxFloatEval", QString::number(m_default));
}

void ViewSpinBoxFloatEval::applyEvaluated() {
    const float value = m_eval->checkRangeFloat(m_min, m_max, m_default);
    if (m_eval->isOutOfRange()) set_to_default_value();
    else set_value(value);
}

void ViewSpinBoxFloatEval::stepValue(int direction) { set_value(m_value + float(direction) * step); }

QString ViewSpinBoxFloatEval::valueText() const { return QString::number(m_value, 'g', 6); }
