#include "ui/view_spin_box.h"

#include <QDebug>
#include <QIntValidator>

#include <algorithm>

namespace {
void log_line(const QString& text) { qDebug().noquote() << text; }

// Signed floor to a multiple of `multiple` (0 counts as 1), in 64 bits so that
// every 32-bit value and multiple stays exact.
int64_t snap_down(int32_t value, uint32_t multiple) {
    const int64_t m = multiple == 0 ? 1 : int64_t(multiple);
    int64_t quotient = int64_t(value) / m;
    if (int64_t(value) % m < 0) quotient -= 1;
    return quotient * m;
}
}  // namespace

ViewSpinBoxInt::ViewSpinBoxInt(QWidget* parent, const QRect& geometry, int32_t defaultValue, int32_t minValue,
                               int32_t maxValue)
    : ViewSpinBoxBase(parent, geometry, QRect(0, 0, geometry.width() - 15, geometry.height()),
                      QRect(geometry.width() - 10, geometry.height() / 2 - 9, 10, 7),
                      QRect(geometry.width() - 10, geometry.height() / 2 + 2, 10, 7)) {
    if (minValue > maxValue) {
        log_line(QString::asprintf(
            "ERREUR : ViewSpinBoxInt : set all values : Min Value (%ld) doit etre inferieure ou egale a maxvalue (%ld)",
            long(minValue), long(maxValue)));
        log_line("Invalid default value");
        refresh();
        return;
    }
    m_min = minValue;
    m_max = maxValue;
    m_entry->setValidator(new QIntValidator(m_min, m_max, m_entry));
    if (defaultValue < minValue || defaultValue > maxValue) {
        log_line(QString::asprintf(
            "ERREUR : ViewSpinBoxInt : set all values : Default valeu invalide (%ld) (Min Val : %ld : MaxVal : %ld)",
            long(defaultValue), long(minValue), long(maxValue)));
        log_line("Invalid default value");
        // The box must still hold a value inside its range.
        m_default = m_min;
        m_value = m_min;
        refresh();
        return;
    }
    m_default = defaultValue;
    set_to_default_value();
    refresh();
}

bool ViewSpinBoxInt::set_value(int32_t value) {
    const int64_t snapped = snap_down(value, snapping);
    if (snapped < m_min || snapped > m_max) {
        log_line(QString::asprintf("ERREUR : ViewSpinBoxInt : set_value : invalid value : %ld (Min Value : %ld ; Max Value : %ld",
                                   long(snapped), long(m_min), long(m_max)));
        return false;
    }
    m_value = static_cast<int32_t>(snapped);
    refresh();
    return true;
}

void ViewSpinBoxInt::logDefaultRefused() {
    log_line(QString::asprintf("ERREUR : ViewSpinBoxInt : set_to_default_value : Erreur setting default value (%ld)",
                               long(m_default)));
}

void ViewSpinBoxInt::set_to_default_value() {
    if (!set_value(m_default)) logDefaultRefused();
}

void ViewSpinBoxInt::refresh() {
    m_entry->setText(blank ? QString() : QString::number(m_value));
    updateArrows(m_value > m_min, m_value < m_max);
}

void ViewSpinBoxInt::setEnabledLook(bool enabled) {
    m_enabled = enabled;
    if (enabled) {
        m_entry->setTextWhite();
    } else {
        m_entry->unfocus();
        m_entry->setTextGrey();
    }
    m_entry->setEnabledLook(enabled);
    updateArrows(m_value > m_min, m_value < m_max);
}

void ViewSpinBoxInt::act_btn_up() {
    set_value(static_cast<int32_t>(std::clamp<int64_t>(int64_t(m_value) + step, INT32_MIN, INT32_MAX)));
    refresh();
    emit act_spinbox_value_changed();
}

void ViewSpinBoxInt::act_btn_down() {
    set_value(static_cast<int32_t>(std::clamp<int64_t>(int64_t(m_value) - step, INT32_MIN, INT32_MAX)));
    refresh();
    emit act_spinbox_value_changed();
}

void ViewSpinBoxInt::entry_end_edit() {
    const QString text = m_entry->text();
    int32_t value = m_default;
    bool ok = false;
    const int typed = text.toInt(&ok, 10);
    if (!text.isEmpty() && ok) value = std::clamp(typed, m_min, m_max);
    set_value(value);
    refresh();
    m_entry->unfocus();
    emit act_spinbox_value_changed();
}

void ViewSpinBoxInt::ViewTextEntry_Clic(uint32_t, Qt::KeyboardModifiers flags) {
    if (flags & Qt::AltModifier) set_to_default_value();
}
