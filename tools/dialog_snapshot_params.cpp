#include "tools/dialog_snapshot_params.h"

#include <QDebug>

#include "base/settings/global_settings.h"
#include "tools/prefs_shown_values.h"
#include "tools/view_prefs_params_common.h"
#include "tools/view_prefs_params_snapshot.h"
#include "ui/view_combobox2.h"
#include "ui/view_items_popup.h"
#include "ui/view_pending_edit.h"

namespace {
constexpr int kWidth = 600;
constexpr int kHeight = 400;
constexpr uint32_t kTagReset = 1;
}  // namespace

DialogSnapshotParams::DialogSnapshotParams(QWidget* parent, GlobalSettings* settings)
    : BaseDialog(parent, QRect(0, 0, kWidth, kHeight), QStringLiteral("Snapshot parameters")), m_settings(settings) {
    setFixedSize(kWidth, kHeight);
    addOkButton(QStringLiteral("Save"));
    addCancelButton(QStringLiteral("Cancel"));
    addBottomLeftButton(QStringLiteral("Reset"), kTagReset);
    m_page = new ViewPrefsParamsSnapshot(this, QRect(10, 10, kWidth - 20, kHeight - 65));
    m_page->setClosable(false);
    m_page->setResetAvailable(false);
    m_page->setSeparatorShown(false);
    m_page->setCloseState(false);
    const uint32_t tags[] = {4, 5, 6, 7};
    ViewCombobox2* combos[] = {m_page->formatCombo(), m_page->folderModeCombo(), m_page->scaleModeCombo(),
                               m_page->timeModeCombo()};
    for (int i = 0; i < 4; ++i) {
        combos[i]->tag = tags[i];
        connect(combos[i], &ViewCombobox2::ViewCombobox2_Clic, this, &DialogSnapshotParams::ViewCombobox2_Clic);
        connect(combos[i], &ViewCombobox2::ViewCombobox2_ValueChanged, this,
                &DialogSnapshotParams::ViewCombobox2_ValueChanged);
    }
    m_shown = std::make_unique<PrefsShownValues>(
        [this](GlobalSettings* into) { m_page->saveToSettings(into); },
        [this](const GlobalSettings* values, const GlobalSettings* showing) {
            m_page->loadFromSettings(values, showing);
        });
    connect(m_page, &ViewClosableParams::ViewClosableParams_Edited, this,
            [this](const QStringList& keys) { m_shown->edited(keys); });
    if (m_settings) {
        m_page->loadFromSettings(m_settings);
        m_shown->loaded();
        connect(m_settings, &GlobalSettings::changed, this, &DialogSnapshotParams::followStore);
    } else {
        qDebug("Error : no settings for snapshot parameters");
    }
    layoutButtons();
}

DialogSnapshotParams::~DialogSnapshotParams() = default;

void DialogSnapshotParams::layoutButtons() {
    BaseDialog::layoutButtons();
    if (!m_page) return;
    m_page->setGeometry(10, 10, width() - 20, height() - 65);
    m_page->updateLayout();
}

void DialogSnapshotParams::close_dialog_ok() {
    qDebug("Close dialog ok child");
    if (m_settings) m_shown->save(*m_settings);
    BaseDialog::close_dialog_ok();
}

void DialogSnapshotParams::followStore() {
    if (!isVisible()) return;
    // A number still being typed is ended first, so it counts as edited and stays.
    view_end_pending_edit(this);
    m_shown->follow(*m_settings);
}

void DialogSnapshotParams::act_btn_bottom_left_btn(uint32_t senderTag) {
    qDebug("act_btn_bottom_left_btn : %d", int(senderTag));
    if (senderTag == kTagReset)
        m_page->resetUi();
    else
        qDebug("Unknown bottom left btn : %ld", static_cast<long>(senderTag));
}

void DialogSnapshotParams::ViewCombobox2_Clic(uint32_t senderTag, DataSourceSubMenu* datasource) {
    view_items_popup_open(this, m_subMenu, datasource, senderTag);
}

void DialogSnapshotParams::ViewCombobox2_ValueChanged(uint32_t) { m_page->updateEnabledState(); }

void DialogSnapshotParams::viewItemsSubMenuClose(const QString&, uint32_t senderTag, unsigned int index,
                                                 unsigned int) {
    ViewCombobox2* combo = nullptr;
    switch (senderTag) {
        case 4: combo = m_page->formatCombo(); break;
        case 5: combo = m_page->folderModeCombo(); break;
        case 6: combo = m_page->scaleModeCombo(); break;
        case 7: combo = m_page->timeModeCombo(); break;
        default: break;
    }
    // Its ViewCombobox2_ValueChanged updates the enabled fields and tells the page.
    if (combo)
        combo->chooseIndex(int32_t(index));
    else
        qDebug("Unknown sender combo : %lu", static_cast<unsigned long>(senderTag));
    view_items_popup_close(m_subMenu);
}

void DialogSnapshotParams::viewItemsSubMenuCancel(const QString&, uint32_t) { view_items_popup_close(m_subMenu); }
