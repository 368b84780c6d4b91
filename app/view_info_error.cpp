#include "app/view_info_error.h"

#include "ui/view_label.h"
#include "ui/view_simple_image.h"

ViewInfoError::ViewInfoError(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    setGeometry(geometry);
    const int w = geometry.width();
    m_title = new ViewLabel(this, QRect(0, 0, w, 40), "Info", 1);
    m_title->alignCenter();
    m_message = new ViewLabel(this, QRect(0, 40, w, geometry.height() - 55), QString(), 1);
    m_message->alignCenter();
    m_errorIcon = new View_SimpleImage(this, QRect(10, 10, 32, 32), ":/Rsc/RESSOURCES_UI/STATE_ENDED_ERROR.png");
    m_warningIcon = new View_SimpleImage(this, QRect(10, 10, 32, 32), ":/Rsc/RESSOURCES_UI/STATE_ENDED_WARNING.png");
    m_errorIcon->hide();
    m_warningIcon->hide();
}

void ViewInfoError::setTexts(const QString& title, const QString& message) {
    m_title->setText(title);
    m_message->setText(message);
}

void ViewInfoError::setStateInfo() {
    m_errorIcon->hide();
    m_warningIcon->hide();
}

void ViewInfoError::setStateError() {
    m_errorIcon->show();
    m_warningIcon->hide();
}

void ViewInfoError::setStateWarning() {
    m_errorIcon->hide();
    m_warningIcon->show();
}
