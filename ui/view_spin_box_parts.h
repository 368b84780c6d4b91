#pragma once
// The children every spin box of the toolkit is made of, wired the same way: the
// entry (unfocused, centred) ends an edit into the box's entry_end_edit and reports
// its clicks to the box's ViewTextEntry_Clic; the up and down arrows call
// act_btn_up and act_btn_down. GUI thread only.
#include "ui/view_btn_image.h"
#include "ui/view_text_entry.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QObject>

struct SpinBoxParts {
    ViewTextEntry* entry = nullptr;
    ViewBtnImage* up = nullptr;
    ViewBtnImage* down = nullptr;
};

template <class Box>
SpinBoxParts spin_box_make_parts(Box* box, const QRect& entryRect, const QRect& upRect, const QRect& downRect) {
    SpinBoxParts parts;
    parts.entry = new ViewTextEntry(box, entryRect);
    parts.up = new ViewBtnImage(box, upRect, QString(":/Rsc/RESSOURCES_UI/SPINBOX_UP.png"));
    parts.down = new ViewBtnImage(box, downRect, QString(":/Rsc/RESSOURCES_UI/SPINBOX_DOWN.png"));
    parts.entry->unfocus();
    parts.entry->alignCenter();
    QObject::connect(parts.entry, &ViewTextEntry::end_text_edit, box, &Box::entry_end_edit);
    QObject::connect(parts.entry, &ViewTextEntry::ViewTextEntry_Clic, box, &Box::ViewTextEntry_Clic);
    // Return never reaches QLineEdit (it ends the edit by focus-out), so this
    // connection only matters if that ever changes.
    QObject::connect(parts.entry, &ViewTextEntry::returnPressed, box, &Box::entry_end_edit);
    QObject::connect(parts.up, &ViewBtnImage::ViewBtnImage_Clic, box, &Box::act_btn_up);
    QObject::connect(parts.down, &ViewBtnImage::ViewBtnImage_Clic, box, &Box::act_btn_down);
    return parts;
}

// An arrow is usable only while the box is enabled and the value can still move
// that way.
inline void spin_box_arrow_looks(const SpinBoxParts& parts, bool enabled, bool canGoDown, bool canGoUp) {
    parts.down->setEnabledLook(enabled && canGoDown);
    parts.up->setEnabledLook(enabled && canGoUp);
}

// A press on the box itself inside the entry's rectangle (the entry normally takes
// it first): Alt restores the default without a signal, otherwise the entry takes
// the focus with all its text selected.
template <class Box>
void spin_box_press(Box* box, const SpinBoxParts& parts, bool enabled, QMouseEvent* event) {
    if (!enabled || !parts.entry->geometry().contains(event->position().toPoint())) return;
    if (QGuiApplication::keyboardModifiers() & Qt::AltModifier) {
        box->set_to_default_value();
        return;
    }
    parts.entry->setFocus(Qt::OtherFocusReason);
    parts.entry->selectAll();
}
