#pragma once
// What the preference pages share: the row name label, the item combo box, the
// list of switches that each edit one boolean of the preferences store, and the
// watch that tells which values the person edited in a page. GUI thread only; every
// widget made here is owned by its Qt parent.
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

#include "ui/view_closable_params.h"

class GlobalSettings;
class QWidget;
class ViewCheckbox;
class ViewCombobox2;
class ViewLabel;
class ViewSpinBoxBase;

// Tells the window holding a page which values the person edited there (typed into,
// chose in, reset), whatever the value: the window must know a value typed back to
// what it showed from one left alone. Each watched control reports the keys of the
// values it edits (GlobalSettings::keyOf, a switch's key) through the page's
// ViewClosableParams_Edited, only for the person's own acts, never when the page
// shows a value. Owned by the page.
class PrefsEditWatch {
public:
    using Report = std::function<void(const QStringList& keys)>;
    explicit PrefsEditWatch(ViewClosableParams* page)
        : m_report([page](const QStringList& keys) { emit page->ViewClosableParams_Edited(keys); }) {}

    // `signal` of `control` is an edit of `keys` (a switch's click, a combo box's
    // ValueChanged, which every choice in it sends, a colour or folder chosen).
    template <class Control, class Signal>
    void watch(Control* control, Signal signal, const QStringList& keys) {
        m_keys += keys;
        QObject::connect(control, signal, control, [report = m_report, keys] { report(keys); });
    }
    // A number field: typing in it (a paste, a cut or an undo too), an arrow, an
    // Alt-click back to its default.
    void watchNumber(ViewSpinBoxBase* box, const QStringList& keys);
    // The page's Reset: every watched value.
    void reportAll() const { m_report(m_keys); }

private:
    Report m_report;
    QStringList m_keys;
};

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

// One switch of a page: its text, tool tip (may be empty), the key of the value it
// edits, and how it reads and writes the store.
struct PrefsSwitch {
    QString text;
    QString tooltip;
    QString key;
    std::function<bool(const GlobalSettings&)> get;
    std::function<void(GlobalSettings&, bool)> set;
};

// A switch over a plain boolean member of the store.
PrefsSwitch prefs_switch(const QString& text, const QString& tooltip, bool GlobalSettings::*key);

// The switches of one page, made in order under one parent.
class PrefsSwitchList {
public:
    // Each switch's click is reported to `edits`.
    void create(QWidget* parent, std::vector<PrefsSwitch> rows, PrefsEditWatch& edits);

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
