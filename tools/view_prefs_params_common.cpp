#include "tools/view_prefs_params_common.h"

#include <QDebug>

#include "base/settings/global_settings.h"
#include "ui/data_item_menu.h"
#include "ui/view_checkbox.h"
#include "ui/view_combobox2.h"
#include "ui/view_label.h"
#include "ui/view_spin_box_base.h"

ViewLabel* prefs_row_label(QWidget* parent, const QString& text) {
    return new ViewLabel(parent, QRect(0, 0, 100, 25), text, 1);
}

ViewCombobox2* prefs_combo(QWidget* parent, const QStringList& items, int32_t defaultIndex) {
    auto* combo = new ViewCombobox2(parent, QRect(0, 0, 150, 25));
    combo->dataSource()->setItems(items);
    combo->setDefaultIndex(defaultIndex);
    return combo;
}

void prefs_select(ViewCombobox2* combo, int64_t index, const char* what) {
    if (index >= 0 && index <= INT32_MAX && combo->setCurrentIndex(int32_t(index))) return;
    qDebug("Invalid %s : %lld", what, static_cast<long long>(index));
    combo->resetToDefault();
}

uint32_t prefs_index(const ViewCombobox2* combo, uint32_t fallback) {
    const int32_t index = combo->currentIndex();
    return index >= 0 ? uint32_t(index) : fallback;
}

void PrefsEditWatch::watchNumber(ViewSpinBoxBase* box, const QStringList& keys) {
    // textEdited comes only from the person's typing, never from a value set.
    watch(box->entry(), &QLineEdit::textEdited, keys);
    watch(box->upArrow(), &ViewBtnImage::ViewBtnImage_Clic, keys);
    watch(box->downArrow(), &ViewBtnImage::ViewBtnImage_Clic, keys);
    QObject::connect(box->entry(), &ViewTextEntry::ViewTextEntry_Clic, box,
                     [report = m_report, keys](uint32_t, Qt::KeyboardModifiers flags) {
                         if (flags & Qt::AltModifier) report(keys);
                     });
}

PrefsSwitch prefs_switch(const QString& text, const QString& tooltip, bool GlobalSettings::*key) {
    return PrefsSwitch{text, tooltip, GlobalSettings::keyOf(key), [key](const GlobalSettings& s) { return s.*key; },
                       [key](GlobalSettings& s, bool on) { s.*key = on; }};
}

void PrefsSwitchList::create(QWidget* parent, std::vector<PrefsSwitch> rows, PrefsEditWatch& edits) {
    m_rows = std::move(rows);
    for (const PrefsSwitch& row : m_rows) {
        auto* box = new ViewCheckbox(parent, QRect(0, 0, 200, 25), row.text, 20, 1);
        if (!row.tooltip.isEmpty()) box->setToolTip(row.tooltip);
        edits.watch(box, &ViewCheckbox::act_mouse_clic, {row.key});
        m_boxes.append(box);
    }
}

void PrefsSwitchList::load(const GlobalSettings& settings, const GlobalSettings* showing) {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const bool on = m_rows[i].get(settings);
        if (!showing || m_rows[i].get(*showing) != on) m_boxes[qsizetype(i)]->setChecked(on);
    }
}

void PrefsSwitchList::save(GlobalSettings& settings) const {
    for (size_t i = 0; i < m_rows.size(); ++i) m_rows[i].set(settings, m_boxes[qsizetype(i)]->isChecked());
}

void PrefsSwitchList::place(int x, int y0, int width) {
    for (int i = 0; i < m_boxes.size(); ++i) m_boxes[i]->setGeometry(x, y0 + 30 * i, width, 25);
}
