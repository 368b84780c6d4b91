#include "tools/view_bitrate_set.h"

#include <QDebug>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "base/settings/global_settings.h"
#include "ui/data_item_menu.h"
#include "ui/view_combobox2.h"
#include "ui/view_spin_box_eval.h"

namespace {
// The limit and unit of the high bit-rate warning, as the settings default them.
double default_bitrate() { return GlobalSettings::defaults().warn_bitrate_limit; }
uint32_t default_unit() { return GlobalSettings::defaults().warn_high_bitrate_units; }

// Whether the field's number `shown` is `number` (a limit in the shown unit) as a float.
bool shows(float shown, double number) {
    return std::abs(number) <= double(std::numeric_limits<float>::max()) && float(number) == shown;
}
}  // namespace

ViewBitrateSet::ViewBitrateSet(QWidget* parent, const QRect& geometry)
    : QWidget(parent), m_bitrate(default_bitrate()), m_unit(default_unit()) {
    setGeometry(geometry);
    m_spin = new ViewSpinBoxFloatEval(this, QRect(0, 0, 150, 25), 1.0f, 0.0001f, 1e10f);
    m_spin->tag = 0;
    m_combo = new ViewCombobox2(this, QRect(0, 0, 120, 25));
    m_combo->dataSource()->setItems({"Mbits/s", "Gbits/s", "MBytes/s", "GBytes/s"});
    m_combo->setDefaultIndex(int32_t(default_unit()));
    connect(m_spin, &ViewSpinBoxFloatEval::ViewSpinboxFloatEval_Changed, this,
            &ViewBitrateSet::ViewSpinboxFloatEval_Changed);
    connect(m_spin, &ViewSpinBoxFloatEval::ViewSpinboxFloatEval_ValueResetToDefault, this,
            &ViewBitrateSet::ViewSpinboxFloatEval_ValueResetToDefault);
    layoutChildren();
    refreshControls();
}

double ViewBitrateSet::unitFactor(uint32_t unit) {
    switch (unit) {
        case 0: return 1e6;
        case 1: return 1e9;
        case 2: return 8e6;
        case 3: return 8e9;
        default:
            std::printf("ERROR : Unknown units\n");
            std::fflush(stdout);
            return 1.0;
    }
}

void ViewBitrateSet::ViewSpinboxFloatEval_Changed(uint32_t, float nVal) {
    const double factor = unitFactor(m_unit);
    // An edit that leaves the number shown for the limit keeps the limit as it is:
    // the number is a float, and taking the limit back from it would move it.
    if (shows(nVal, m_bitrate / factor)) return;
    m_bitrate = factor * nVal;
}

void ViewBitrateSet::ViewSpinboxFloatEval_ValueResetToDefault(uint32_t) {
    m_bitrate = default_bitrate();
    refreshControls();
}

void ViewBitrateSet::setBitrate(double bits_per_second) {
    m_bitrate = bits_per_second;
    refreshControls();
}

void ViewBitrateSet::setUnit(uint32_t unit) {
    m_unit = unit;
    refreshControls();
}

void ViewBitrateSet::resetToDefault() {
    m_unit = default_unit();
    m_bitrate = default_bitrate();
    refreshControls();
}

void ViewBitrateSet::unitChanged() {
    const int32_t index = m_combo->currentIndex();
    m_unit = index >= 0 && index <= 2 ? uint32_t(index) : default_unit();
    // The field holds 0.0001 to 1e10 of any unit. A limit that does not fit in the
    // new unit becomes the nearest end of that range, so that the number shown is
    // the limit stored and used.
    const double factor = unitFactor(m_unit);
    const double number = m_bitrate / factor;
    const double fitted = std::clamp(number, double(m_spin->minimum()), double(m_spin->maximum()));
    if (fitted != number) m_bitrate = factor * fitted;
    m_spin->set_value(float(fitted));
}

void ViewBitrateSet::refreshControls() {
    uint32_t shown = m_unit;
    if (shown > 3) {
        qDebug("Unknown player high bitrate : %lu", static_cast<unsigned long>(m_unit));
        shown = default_unit();
    }
    m_combo->setCurrentIndex(int32_t(shown));
    m_spin->set_value(float(m_bitrate / unitFactor(m_unit)));
}

void ViewBitrateSet::setEnabledLook(bool enabled) {
    m_spin->setEnabledLook(enabled);
    m_combo->setEnabledLook(enabled);
}

void ViewBitrateSet::layoutChildren() {
    m_spin->move(0, 0);
    m_combo->move(m_spin->width(), 0);
}
