#pragma once
// Ending the edit the user is still typing before a click acts on it.
//
// The toolkit's entries end an edit only when they lose the keyboard focus (Return
// just takes the focus away), and none of its buttons, switches, sliders, swatches or
// combo boxes takes the focus when clicked. So each of them, when a press is about to
// make it act, first calls view_end_pending_edit: a number typed and then "confirmed"
// by a click on Save, on a switch or on a unit is already the field's value when the
// click acts. The dialog bases do the same before Escape and a window close.
//
// GUI thread only.
class QWidget;

// When the widget holding the keyboard focus is a ViewTextEntry in `actor`'s window,
// takes the focus away from it exactly as Return does, so its owner hears the end of
// the edit (end_text_edit, ViewTextEntry_EndEdit) before this returns. Returns true
// when an edit was ended; false, changing nothing, otherwise.
bool view_end_pending_edit(const QWidget* actor);
