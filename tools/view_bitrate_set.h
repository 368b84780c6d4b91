#pragma once
// ViewBitrateSet: edits a bit-rate limit as a number and a unit (Mbits/s, Gbits/s,
// MBytes/s, GBytes/s). The limit is kept in bits per second; changing the unit only
// changes how it is shown, unless the number would fall outside the field's range
// (0.0001 to 1e10): then the limit becomes the nearest end of it. The window holding
// it routes the combo box's selection change to unitChanged() (the widget does not
// listen to its own combo box).
// Owned by its Qt parent; GUI thread only.
#include <QRect>
#include <QWidget>
#include <cstdint>

class ViewCombobox2;
class ViewSpinBoxFloatEval;

class ViewBitrateSet : public QWidget {
    Q_OBJECT
public:
    // The settings' default limit, shown in their default unit.
    ViewBitrateSet(QWidget* parent, const QRect& geometry);

    // Bits per second in one shown unit: 1e6, 1e9, 8e6, 8e9; any other unit prints
    // "ERROR : Unknown units" and gives 1.
    static double unitFactor(uint32_t unit);

    double bitrate() const { return m_bitrate; }
    uint32_t unit() const { return m_unit; }
    void setBitrate(double bits_per_second);
    void setUnit(uint32_t unit);
    void resetToDefault();
    // The unit becomes the combo box's (an index outside 0..2 gives 3); the limit stays
    // unless it does not fit in the field in that unit (then as shown: the nearest end
    // of the field's range).
    void unitChanged();
    // The combo box shows the unit, the spin box the limit in that unit.
    void refreshControls();
    void setEnabledLook(bool enabled);
    void layoutChildren();

    ViewSpinBoxFloatEval* spinBox() const { return m_spin; }
    ViewCombobox2* comboBox() const { return m_combo; }

public slots:
    // The limit from the typed number; a number equal to the one shown keeps it exact.
    void ViewSpinboxFloatEval_Changed(uint32_t senderTag, float nVal);
    void ViewSpinboxFloatEval_ValueResetToDefault(uint32_t senderTag);

private:
    double m_bitrate;  // bits per second
    uint32_t m_unit;
    ViewSpinBoxFloatEval* m_spin;
    ViewCombobox2* m_combo;
};
