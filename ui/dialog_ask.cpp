#include "ui/dialog_ask.h"

#include "ui/view_label.h"

DialogAsk::DialogAsk(QWidget* parent, const QString& message, const QStringList& buttonTexts)
    : BaseDialog(parent, QRect(0, 0, 500, 100), QString()) {
    if (buttonTexts.isEmpty() || buttonTexts.size() > 3) {
        qDebug("ERREUR, invalid nb btns dialog ask");
        return;
    }
    setFixedHeightKeepWidth(100);
    centerOnScreen();
    addOkButton(buttonTexts[0]);
    if (buttonTexts.size() >= 2) addCancelButton(buttonTexts[1]);
    if (buttonTexts.size() == 3) addAbortButton(buttonTexts[2]);
    m_message = new ViewLabel(this, QRect(10, 20, 480, 35), message, 1);
    // A long message (a path and the reason) is read whole: in lines, in a box grown
    // to fit them, 20 pixels above the message and the 45-pixel button bar below.
    m_message->setWrapToWidth();
    growToShowText(m_message, 65);
    layoutButtons();
}

void DialogAsk::layoutButtons() {
    BaseDialog::layoutButtons();
    if (m_message) m_message->setGeometry(10, 20, width() - 20, contentHeight() - 20);
}

DialogSimpleMsg::DialogSimpleMsg(QWidget* parent, const QString& message)
    : DialogAsk(parent, message, {QStringLiteral("Ok")}) {
    if (m_message) m_message->alignCenter();
}
