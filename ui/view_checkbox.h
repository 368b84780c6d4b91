#pragma once
// ViewCheckbox: an animated on/off switch (20x8 track, 150 ms) with an optional
// kind-8 text to its right. A press on the switch or a click on the text toggles it
// and sends act_mouse_clic, then ViewCheckboxDelegate with the owner's tag, after
// ending the edit still being typed in an entry of the window. Once disabled it
// ignores both and dims (there is no way back: owners rebuild it).
//
// Track pictures: CB_BG_ENABLE_COL1 (colour variant 0) or CB_BG_ENABLE_COL2 (any
// other variant), CB_BG_DISABLE; a missing picture paints nothing.
//
// Owned by its Qt parent. GUI thread only.
#include <QPixmap>
#include <QRect>
#include <QWidget>

#include <cstdint>

class ViewLabel;

class ViewCheckbox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double anim_state READ animState WRITE setAnimState NOTIFY anim_state_changed)
public:
    // The text starts at labelIndent + 25 pixels; an empty text makes no label.
    ViewCheckbox(QWidget* parent, const QRect& geometry, const QString& text, int32_t labelIndent,
                 uint32_t colourVariant);

    // Changes the state without animation or signal.
    void setChecked(bool checked);
    bool isChecked() const { return m_checked; }
    void disable();
    bool isEnabledLook() const { return m_enabled; }

    // 0.0 off ... 1.0 on; drives the painting.
    double animState() const { return m_animState; }
    void setAnimState(double state);

    // Places the text right of the switch (also on resize).
    void layoutLabel();
    // Null when the box has no text.
    ViewLabel* label() const { return m_label; }

    // Sent first in ViewCheckboxDelegate; written by the owner.
    uint32_t tag = 0;
    // When set, the next toggle takes the box as checked (so it unchecks) and clears it.
    bool forceUncheck = false;

signals:
    void act_mouse_clic();
    void ViewCheckboxDelegate(uint32_t senderTag);
    void anim_state_changed();

public slots:
    void ViewLabel_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void toggle();

    double m_animState = 0.0;
    int32_t m_labelIndent = 0;
    bool m_enabled = true;
    bool m_checked = false;
    ViewLabel* m_label = nullptr;
    QPixmap m_enabledBackground;
    QPixmap m_disabledBackground;
};
