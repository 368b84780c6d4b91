#pragma once
// ViewCombobox2: a one-line choice over a `DataSourceSubMenu`. It does not open a
// popup itself: a plain click reports ViewCombobox2_Clic with its data source, whose
// anchor rectangle then holds the combo box in window coordinates and whose current
// index the combo's; the owner opens a `ViewItemsSubMenu` and selects the chosen
// index (chooseIndex). Ctrl-click steps to the next entry (wrapping), Alt-click goes
// back to the default entry. Ctrl-click, Alt-click and chooseIndex report
// ViewCombobox2_ValueChanged, also when the entry stays the same; setCurrentIndex
// reports nothing. A source with fewer than two entries ignores clicks; a combo box
// without selection shows nothing, dimmed.
//
// Owns its data source (made without parent, deleted with the combo). GUI thread
// only.
#include <QRect>
#include <QWidget>

#include <cstdint>

class DataSourceSubMenu;
class ViewLabel;

class ViewCombobox2 : public QWidget {
    Q_OBJECT
public:
    ViewCombobox2(QWidget* parent, const QRect& geometry);
    ~ViewCombobox2() override;

    // The entries; fill them with DataSourceSubMenu::setItems, then select.
    DataSourceSubMenu* dataSource() const { return m_source; }

    int32_t currentIndex() const { return m_current; }
    // Selects `index` (no signal). An empty source gives -1 and true; an index outside
    // the entries returns false and changes nothing.
    bool setCurrentIndex(int32_t index);
    // The person chose `index` in the owner's item list: selects it as setCurrentIndex
    // does and, when it did, reports ViewCombobox2_ValueChanged.
    bool chooseIndex(int32_t index);
    // Stores the entry a reset goes back to and selects it as setCurrentIndex would
    // (an index outside the entries is only stored).
    void setDefaultIndex(int32_t index);
    int32_t defaultIndex() const { return m_default; }
    bool resetToDefault();

    void setEnabledLook(bool enabled);
    bool isEnabledLook() const { return m_enabled; }

    // The shown text (empty without selection).
    ViewLabel* label() const { return m_label; }

    uint32_t tag = 0;

signals:
    void ViewCombobox2_Clic(uint32_t senderTag, DataSourceSubMenu* datasource);
    void ViewCombobox2_ValueChanged(uint32_t senderTag);

public slots:
    void ViewLabel_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void centerLabel();
    QRect windowRect() const;

    DataSourceSubMenu* m_source = nullptr;
    bool m_enabled = true;
    int32_t m_current = -1;
    int32_t m_default = -1;
    ViewLabel* m_label = nullptr;
};
