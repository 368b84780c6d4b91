#pragma once
// DialogPrefs: the floating "Preferences" window. A scroll area stacks the five
// collapsible pages (User Interface, File warning, Import, Playback, Snapshot) over
// the buttons "Save" and "Cancel".
//
// setSettings copies the store into the pages and opens or closes each page as its
// switch in the store (GlobalSettings::Switch_PrefsPage...) says; the main window
// calls it when it opens the window, not when it brings the open window forward.
// The window stays open beside the snapshot parameters dialog and the start-up
// warning: while it is shown, a value stored there appears in each field of the
// pages that the person left alone since setSettings; a field typed into, chosen in
// or reset keeps what it shows, whatever its value (PrefsShownValues, told by the
// pages' ViewClosableParams_Edited). Save stores each value the pages show otherwise
// than the store (what the person changed there, and only that), records which
// pages are open, then emits clic_btn_dialog_1 and closes:
// writing the file, applying the values and telling a failed write is the receiver's
// business. Cancel, or closing the window, stores nothing; the next setSettings
// reloads the pages from the store.
//
// The combo boxes' item lists open over the whole window; a choice is routed back by
// the combo's tag (1-3 units, 4-7 snapshot, 8 the warning page's bit-rate unit).
//
// Made once without parent by the main window, which owns it. The store is not
// owned. GUI thread only.
#include <QList>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>

#include "ui/base_dialog_widget.h"
#include "ui/data_item_menu.h"  // moc needs the whole type of a slot argument
#include "ui/view_items_sub_menu.h"  // QPointer needs the whole type

class GlobalSettings;
class PrefsShownValues;
class ViewClosableParams;
class ViewCombobox2;
class ViewPrefsParamsImport;
class ViewPrefsParamsPlayback;
class ViewPrefsParamsSnapshot;
class ViewPrefsParamsUserInterface;
class ViewPrefsParamsWarning;
class ViewSimpleScroll;

class DialogPrefs : public BaseDialogWidget {
    Q_OBJECT
public:
    explicit DialogPrefs(QWidget* parent);
    ~DialogPrefs() override;

    // Loads every page from `settings` (kept, not owned, followed while the window is
    // shown) and the pages' open states. Null logs "Error : no settings at refresh"
    // and changes nothing.
    void setSettings(GlobalSettings* settings);

    ViewPrefsParamsUserInterface* userInterfacePage() const { return m_userInterface; }
    ViewPrefsParamsWarning* warningPage() const { return m_warning; }
    ViewPrefsParamsImport* importPage() const { return m_import; }
    ViewPrefsParamsPlayback* playbackPage() const { return m_playback; }
    ViewPrefsParamsSnapshot* snapshotPage() const { return m_snapshot; }
    const QList<ViewClosableParams*>& pages() const { return m_pages; }
    ViewSimpleScroll* scroll() const { return m_scroll; }
    // The open item list, or null.
    ViewItemsSubMenu* itemsSubMenu() const { return m_subMenu; }

public slots:
    void close_dialog_ok() override;
    void ViewCombobox2_Clic(uint32_t senderTag, DataSourceSubMenu* datasource);
    void ViewCombobox2_ValueChanged(uint32_t senderTag);
    void viewItemsSubMenuCancel(const QString& src_obj_tag, uint32_t senderTag);
    void viewItemsSubMenuClose(const QString& src_obj_tag, uint32_t senderTag, unsigned int index,
                               unsigned int section);
    void ViewClosableParams_OpenCloseGroup(uint32_t senderTag, bool nCloseState);
    void ViewClosableParams_ClicReset(uint32_t senderTag);
    void ViewClosableParams_OpenCloseAllGroup(uint32_t senderTag, bool nCloseState);

private slots:
    void followStore();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void addPage(ViewClosableParams* page, const QString& identifier, uint32_t tag, const QString& resetTip);
    void addCombo(ViewCombobox2* combo, uint32_t tag);
    ViewCombobox2* comboForTag(uint32_t tag) const;
    void layoutGroups();
    // Every page's controls into `into`, in page order.
    void storePages(GlobalSettings* into) const;
    // Every page from `values`; given `showing`, only the controls it holds otherwise.
    void loadPages(const GlobalSettings* values, const GlobalSettings* showing);

    GlobalSettings* m_settings = nullptr;
    // What the pages show of the store (owned; loaded by setSettings).
    std::unique_ptr<PrefsShownValues> m_shown;
    ViewSimpleScroll* m_scroll = nullptr;
    ViewPrefsParamsUserInterface* m_userInterface = nullptr;
    ViewPrefsParamsWarning* m_warning = nullptr;
    ViewPrefsParamsImport* m_import = nullptr;
    ViewPrefsParamsPlayback* m_playback = nullptr;
    ViewPrefsParamsSnapshot* m_snapshot = nullptr;
    QList<ViewClosableParams*> m_pages;
    QList<ViewCombobox2*> m_combos;
    QPointer<ViewItemsSubMenu> m_subMenu;
};
