#pragma once
// What the preference pages share: the row name label, the item combo box, and the
// list of switches that each edit one boolean of the preferences store. GUI thread
// only; every widget made here is owned by its Qt parent.
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

class GlobalSettings;
class QWidget;
class ViewCheckbox;
class ViewCombobox2;
class ViewLabel;

// A kind-1 label naming a row.
ViewLabel* prefs_row_label(QWidget* parent, const QString& text);

// A combo box over `items` whose reset goes back to `defaultIndex` (selected now).
ViewCombobox2* prefs_combo(QWidget* parent, const QStringList& items, int32_t defaultIndex);

// Selects `index` when it names an entry; otherwise logs "Invalid <what> : <index>"
// and selects the combo box's default entry, so a bad stored value never leaves the
// entry of an earlier showing on screen.
void prefs_select(ViewCombobox2* combo, int64_t index, const char* what);

// The selected entry, or `fallback` when nothing is selected.
uint32_t prefs_index(const ViewCombobox2* combo, uint32_t fallback);

// One switch of a page: its text, tool tip (may be empty) and how it reads and writes
// the store.
struct PrefsSwitch {
    QString text;
    QString tooltip;
    std::function<bool(const GlobalSettings&)> get;
    std::function<void(GlobalSettings&, bool)> set;
};

// A switch over a plain boolean member of the store.
PrefsSwitch prefs_switch(const QString& text, const QString& tooltip, bool GlobalSettings::*key);

// The switches of one page, made in order under one parent.
class PrefsSwitchList {
public:
    void create(QWidget* parent, std::vector<PrefsSwitch> rows);

    // Every switch from `settings`; given `showing`, only those it holds otherwise.
    void load(const GlobalSettings& settings, const GlobalSettings* showing = nullptr);
    void save(GlobalSettings& settings) const;
    // Rows at (x, y0 + 30 i), `width` wide and 25 high.
    void place(int x, int y0, int width);

    int count() const { return int(m_boxes.size()); }
    ViewCheckbox* at(int index) const { return m_boxes.value(index); }

private:
    std::vector<PrefsSwitch> m_rows;
    QList<ViewCheckbox*> m_boxes;
};
