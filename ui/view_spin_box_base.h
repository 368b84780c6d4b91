#pragma once
// ViewSpinBoxBase: what every spin box of the toolkit is made of and how it is wired:
// the entry (unfocused, centred) ends an edit into entry_end_edit (focus-out, which
// Return causes) and reports its clicks to ViewTextEntry_Clic; the up and down arrows
// call act_btn_up and act_btn_down. An arrow is usable only while the box is enabled
// and the value can still move that way. A press on the box itself inside the entry's
// rectangle (the entry normally takes it first): Alt restores the default without a
// signal, otherwise the entry takes the focus with all its text selected.
//
// The digit box (ViewSpinBoxInt) and the expression boxes (ViewSpinBoxEvalBase)
// derive from it and say what the slots do. Owned by its Qt parent. GUI thread only.
#include <QRect>
#include <QWidget>

#include <cstdint>

// Whole types: owners and tests use the children through entry() and the arrows.
#include "ui/view_btn_image.h"
#include "ui/view_text_entry.h"

class ViewSpinBoxBase : public QWidget {
    Q_OBJECT
public:
    virtual void set_to_default_value() = 0;

    bool isEnabledLook() const { return m_enabled; }

    ViewTextEntry* entry() const { return m_entry; }
    ViewBtnImage* upArrow() const { return m_up; }
    ViewBtnImage* downArrow() const { return m_down; }

public slots:
    virtual void act_btn_up() = 0;
    virtual void act_btn_down() = 0;
    virtual void entry_end_edit() = 0;
    virtual void ViewTextEntry_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags) = 0;

protected:
    // The children at their first rectangles, in this order: entry, up, down.
    ViewSpinBoxBase(QWidget* parent, const QRect& geometry, const QRect& entryRect, const QRect& upRect,
                    const QRect& downRect);

    // The arrows' look from the enabled flag and where the value can still go.
    void updateArrows(bool canGoDown, bool canGoUp);

    void mousePressEvent(QMouseEvent* event) override;

    bool m_enabled = true;
    ViewTextEntry* m_entry = nullptr;
    ViewBtnImage* m_up = nullptr;
    ViewBtnImage* m_down = nullptr;
};
