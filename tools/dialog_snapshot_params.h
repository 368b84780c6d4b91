#pragma once
// DialogSnapshotParams: the modal "Snapshot parameters" dialog (fixed 600 x 400) that
// shows the Snapshot preference page alone, always open, without its own Reset, with
// the buttons Save, Cancel and Reset (bottom left). The preferences window may be
// open beside it: while it is shown, a value saved there appears in each field that
// the person left alone; a field typed into, chosen in or reset (the Reset button
// too) keeps what it shows, whatever its value (PrefsShownValues). Save stores each
// value the page shows otherwise than the store (what the person changed here, and
// only that; the snapshot converter reads them in the store) and emits
// clic_btn_dialog_1; it does not write the file. Cancel and Reset store nothing. Made
// anew by the main window at each use; the store is not owned and must outlive the
// dialog. GUI thread only.
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>

#include "ui/base_dialog.h"
#include "ui/data_item_menu.h"  // moc needs the whole type of a slot argument
#include "ui/view_items_sub_menu.h"  // QPointer needs the whole type

class GlobalSettings;
class PrefsShownValues;
class ViewPrefsParamsSnapshot;

class DialogSnapshotParams : public BaseDialog {
    Q_OBJECT
public:
    // Loads the page from `settings` (null: logged, nothing is loaded or stored).
    DialogSnapshotParams(QWidget* parent, GlobalSettings* settings);
    ~DialogSnapshotParams() override;

    ViewPrefsParamsSnapshot* page() const { return m_page; }
    ViewItemsSubMenu* itemsSubMenu() const { return m_subMenu; }

public slots:
    void layoutButtons() override;
    void close_dialog_ok() override;
    void act_btn_bottom_left_btn(uint32_t senderTag) override;
    void ViewCombobox2_Clic(uint32_t senderTag, DataSourceSubMenu* datasource);
    void ViewCombobox2_ValueChanged(uint32_t senderTag);
    void viewItemsSubMenuCancel(const QString& src_obj_tag, uint32_t senderTag);
    void viewItemsSubMenuClose(const QString& src_obj_tag, uint32_t senderTag, unsigned int index,
                               unsigned int section);

private slots:
    void followStore();

private:
    ViewPrefsParamsSnapshot* m_page = nullptr;
    GlobalSettings* m_settings = nullptr;
    // What the page shows of the store (owned; loaded only with a store).
    std::unique_ptr<PrefsShownValues> m_shown;
    QPointer<ViewItemsSubMenu> m_subMenu;
};
