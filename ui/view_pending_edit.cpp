#include "ui/view_pending_edit.h"

#include "ui/view_text_entry.h"

#include <QApplication>

bool view_end_pending_edit(const QWidget* actor) {
    if (actor == nullptr) return false;
    auto* entry = qobject_cast<ViewTextEntry*>(QApplication::focusWidget());
    if (entry == nullptr || entry->window() != actor->window()) return false;
    entry->unfocus();
    return true;
}
