#include "tools/dialog_prefs.h"

#include <QDebug>

#include "base/settings/global_settings.h"
#include "tools/prefs_shown_values.h"
#include "tools/view_bitrate_set.h"
#include "tools/view_prefs_params_common.h"
#include "tools/view_prefs_params_snapshot.h"
#include "tools/view_prefs_params_switches.h"
#include "tools/view_prefs_params_user_interface.h"
#include "tools/view_prefs_params_warning.h"
#include "ui/view_btn_text.h"
#include "ui/view_combobox2.h"
#include "ui/view_items_popup.h"
#include "ui/view_pending_edit.h"
#include "ui/view_simple_scroll.h"

namespace {
// Tags of the combo boxes.
constexpr uint32_t kTagUnitFirst = 1;
constexpr uint32_t kTagUnitLast = 3;
constexpr uint32_t kTagSnapshotFirst = 4;
constexpr uint32_t kTagSnapshotLast = 7;
constexpr uint32_t kTagBitrateUnit = 8;
}  // namespace

DialogPrefs::DialogPrefs(QWidget* parent) : BaseDialogWidget(parent, QStringLiteral("Preferences"), 700, 600) {
    addOkButton(QStringLiteral("Save"));
    addCancelButton(QStringLiteral("Cancel"));
    m_scroll = new ViewSimpleScroll(this, QRect(10, 40, 300, 400));
    QWidget* box = m_scroll->contentWidget();
    const QRect pageRect(0, 0, 680, 32);
    m_userInterface = new ViewPrefsParamsUserInterface(box, pageRect);
    m_warning = new ViewPrefsParamsWarning(box, pageRect);
    m_import = new ViewPrefsParamsImport(box, pageRect);
    m_playback = new ViewPrefsParamsPlayback(box, pageRect);
    m_snapshot = new ViewPrefsParamsSnapshot(box, pageRect);
    // Each page's open state is kept under its switch.
    using G = GlobalSettings;
    addPage(m_userInterface, G::switchKey(G::Switch_PrefsPageUserInterface), 1,
            QStringLiteral("Reset User interface preferences parameters"));
    addPage(m_warning, G::switchKey(G::Switch_PrefsPageWarning), 2,
            QStringLiteral("Reset warning preferences parameters"));
    addPage(m_import, G::switchKey(G::Switch_PrefsPageImport), 3,
            QStringLiteral("Reset import preferences parameters"));
    addPage(m_playback, G::switchKey(G::Switch_PrefsPagePlayback), 4,
            QStringLiteral("Reset playback preferences parameters"));
    addPage(m_snapshot, G::switchKey(G::Switch_PrefsPageSnapshot), 5,
            QStringLiteral("Reset snapshot preferences parameters"));
    for (uint32_t i = 0; i < 3; ++i) addCombo(m_userInterface->unitCombo(int(i)), kTagUnitFirst + i);
    addCombo(m_warning->bitrateSet()->comboBox(), kTagBitrateUnit);
    addCombo(m_snapshot->formatCombo(), 4);
    addCombo(m_snapshot->folderModeCombo(), 5);
    addCombo(m_snapshot->scaleModeCombo(), 6);
    addCombo(m_snapshot->timeModeCombo(), 7);
    resize(int(defaultWidth()), int(defaultHeight()));
    layoutGroups();
    m_shown = std::make_unique<PrefsShownValues>([this](GlobalSettings* into) { storePages(into); },
                                                 [this](const GlobalSettings* values, const GlobalSettings* showing) {
                                                     loadPages(values, showing);
                                                 });
    for (ViewClosableParams* page : m_pages)
        connect(page, &ViewClosableParams::ViewClosableParams_Edited, this,
                [this](const QStringList& keys) { m_shown->edited(keys); });
}

DialogPrefs::~DialogPrefs() = default;

void DialogPrefs::addPage(ViewClosableParams* page, const QString& identifier, uint32_t tag,
                          const QString& resetTip) {
    page->groupIdentifier = identifier;
    page->tag = tag;
    page->setMinTitleWidth(100);
    page->setCloseState(false);
    page->resetButton()->setToolTip(resetTip);
    connect(page, &ViewClosableParams::ViewClosableParams_OpenCloseGroup, this,
            &DialogPrefs::ViewClosableParams_OpenCloseGroup);
    connect(page, &ViewClosableParams::ViewClosableParams_ClicReset, this, &DialogPrefs::ViewClosableParams_ClicReset);
    connect(page, &ViewClosableParams::ViewClosableParams_OpenCloseAllGroup, this,
            &DialogPrefs::ViewClosableParams_OpenCloseAllGroup);
    m_pages.append(page);
}

void DialogPrefs::addCombo(ViewCombobox2* combo, uint32_t tag) {
    combo->tag = tag;
    connect(combo, &ViewCombobox2::ViewCombobox2_Clic, this, &DialogPrefs::ViewCombobox2_Clic);
    connect(combo, &ViewCombobox2::ViewCombobox2_ValueChanged, this, &DialogPrefs::ViewCombobox2_ValueChanged);
    m_combos.append(combo);
}

ViewCombobox2* DialogPrefs::comboForTag(uint32_t tag) const {
    for (ViewCombobox2* combo : m_combos)
        if (combo->tag == tag) return combo;
    return nullptr;
}

void DialogPrefs::setSettings(GlobalSettings* settings) {
    if (!settings) {
        qDebug("Error : no settings at refresh");
        return;
    }
    if (m_settings != settings) {
        if (m_settings) disconnect(m_settings, &GlobalSettings::changed, this, &DialogPrefs::followStore);
        connect(settings, &GlobalSettings::changed, this, &DialogPrefs::followStore);
    }
    m_settings = settings;
    loadPages(settings, nullptr);
    m_shown->loaded();
    for (ViewClosableParams* page : m_pages)
        if (settings->hasBoolSetting(page->groupIdentifier))
            page->setCloseState(!settings->boolSetting(page->groupIdentifier, true));
    layoutGroups();
}

void DialogPrefs::close_dialog_ok() {
    if (m_settings) {
        m_shown->save(*m_settings);
        for (ViewClosableParams* page : m_pages) {
            if (page->groupIdentifier.isEmpty())
                qDebug("Unset group identifier, for settings save");
            else
                m_settings->setBoolSetting(!page->isClosed(), page->groupIdentifier);
        }
    } else {
        qDebug("Error : no settings to save");
    }
    BaseDialogWidget::close_dialog_ok();
}

void DialogPrefs::followStore() {
    // Hidden, it shows nothing: the next showing loads the store anew.
    if (!m_settings || !isVisible()) return;
    // A number still being typed is ended first, so it counts as edited and stays.
    view_end_pending_edit(this);
    m_shown->follow(*m_settings);
}

void DialogPrefs::loadPages(const GlobalSettings* values, const GlobalSettings* showing) {
    m_userInterface->loadFromSettings(values, showing);
    m_warning->loadFromSettings(values, showing);
    m_import->loadFromSettings(values, showing);
    m_playback->loadFromSettings(values, showing);
    m_snapshot->loadFromSettings(values, showing);
}

void DialogPrefs::storePages(GlobalSettings* into) const {
    m_userInterface->saveToSettings(into);
    m_warning->saveToSettings(into);
    m_import->saveToSettings(into);
    m_playback->saveToSettings(into);
    m_snapshot->saveToSettings(into);
}

void DialogPrefs::resizeEvent(QResizeEvent* event) {
    BaseDialogWidget::resizeEvent(event);
    layoutGroups();
}

void DialogPrefs::layoutGroups() {
    if (!m_scroll) return;
    const int w = width();
    const int h = height();
    m_scroll->setGeometry(10, 10, w - 20, h - 55);
    QWidget* box = m_scroll->contentWidget();
    box->setGeometry(0, 0, w - 20, 1250);
    int y = 5;
    for (ViewClosableParams* page : m_pages) {
        const int pageHeight = page->heightHint();
        page->setGeometry(0, y, w - 20, pageHeight);
        page->updateLayout();
        y += pageHeight + 5;
    }
    box->resize(w - 20, y - 5);
    m_scroll->updateLayout();
}

void DialogPrefs::ViewClosableParams_OpenCloseGroup(uint32_t, bool) { layoutGroups(); }

void DialogPrefs::ViewClosableParams_ClicReset(uint32_t) {}

void DialogPrefs::ViewClosableParams_OpenCloseAllGroup(uint32_t, bool nCloseState) {
    for (ViewClosableParams* page : m_pages) page->setCloseState(nCloseState);
    layoutGroups();
}

void DialogPrefs::ViewCombobox2_Clic(uint32_t senderTag, DataSourceSubMenu* datasource) {
    view_items_popup_open(this, m_subMenu, datasource, senderTag);
}

void DialogPrefs::ViewCombobox2_ValueChanged(uint32_t senderTag) {
    if (senderTag >= kTagUnitFirst && senderTag <= kTagUnitLast) return;
    if (senderTag >= kTagSnapshotFirst && senderTag <= kTagSnapshotLast)
        m_snapshot->updateEnabledState();
    else if (senderTag == kTagBitrateUnit)
        m_warning->bitrateSet()->unitChanged();
    else
        qDebug("Unknown combo sender : %lu", static_cast<unsigned long>(senderTag));
}

void DialogPrefs::viewItemsSubMenuClose(const QString&, uint32_t senderTag, unsigned int index, unsigned int) {
    if (ViewCombobox2* combo = comboForTag(senderTag)) {
        // Its ViewCombobox2_ValueChanged runs the reaction and tells the page of the choice.
        combo->chooseIndex(int32_t(index));
    } else {
        qDebug("Unknown sender combo : %lu", static_cast<unsigned long>(senderTag));
        ViewCombobox2_ValueChanged(senderTag);
    }
    view_items_popup_close(m_subMenu);
}

void DialogPrefs::viewItemsSubMenuCancel(const QString&, uint32_t) { view_items_popup_close(m_subMenu); }
