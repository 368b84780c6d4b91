#include "ui/view_spin_box_base.h"

#include <QGuiApplication>
#include <QMouseEvent>

ViewSpinBoxBase::ViewSpinBoxBase(QWidget* parent, const QRect& geometry, const QRect& entryRect,
                                 const QRect& upRect, const QRect& downRect)
    : QWidget(parent) {
    setGeometry(geometry);
    m_entry = new ViewTextEntry(this, entryRect);
    m_up = new ViewBtnImage(this, upRect, QString(":/Rsc/RESSOURCES_UI/SPINBOX_UP.png"));
    m_down = new ViewBtnImage(this, downRect, QString(":/Rsc/RESSOURCES_UI/SPINBOX_DOWN.png"));
    m_entry->unfocus();
    m_entry->alignCenter();
    connect(m_entry, &ViewTextEntry::end_text_edit, this, &ViewSpinBoxBase::entry_end_edit);
    connect(m_entry, &ViewTextEntry::ViewTextEntry_Clic, this, &ViewSpinBoxBase::ViewTextEntry_Clic);
    // Return never reaches QLineEdit (it ends the edit by focus-out), so this
    // connection only matters if that ever changes.
    connect(m_entry, &ViewTextEntry::returnPressed, this, &ViewSpinBoxBase::entry_end_edit);
    connect(m_up, &ViewBtnImage::ViewBtnImage_Clic, this, &ViewSpinBoxBase::act_btn_up);
    connect(m_down, &ViewBtnImage::ViewBtnImage_Clic, this, &ViewSpinBoxBase::act_btn_down);
}

void ViewSpinBoxBase::updateArrows(bool canGoDown, bool canGoUp) {
    m_down->setEnabledLook(m_enabled && canGoDown);
    m_up->setEnabledLook(m_enabled && canGoUp);
}

void ViewSpinBoxBase::mousePressEvent(QMouseEvent* event) {
    if (!m_enabled || !m_entry->geometry().contains(event->position().toPoint())) return;
    if (QGuiApplication::keyboardModifiers() & Qt::AltModifier) {
        set_to_default_value();
        return;
    }
    m_entry->setFocus(Qt::OtherFocusReason);
    m_entry->selectAll();
}
