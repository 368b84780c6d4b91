#pragma once
// DialogAsk: a 500 x 100 question with one to three answers; a message too long for
// that box is shown whole, in lines, in a box grown to fit (within the screen). The first text is the
// right-most button and answers clic_btn_dialog_1, the second clic_btn_dialog_2, the
// third clic_btn_dialog_3. Any other number of texts is a programming error: it logs
// "ERREUR, invalid nb btns dialog ask" and gives a dialog without message or buttons.
// DialogSimpleMsg: the same with the single answer "Ok" and a centred message.
// Owned by its creator. GUI thread only.
#include "ui/base_dialog.h"

#include <QStringList>

class ViewLabel;

class DialogAsk : public BaseDialog {
    Q_OBJECT
public:
    DialogAsk(QWidget* parent, const QString& message, const QStringList& buttonTexts);

    // Null when the button texts were refused.
    ViewLabel* messageLabel() const { return m_message; }

public slots:
    void layoutButtons() override;

protected:
    ViewLabel* m_message = nullptr;
};

class DialogSimpleMsg : public DialogAsk {
    Q_OBJECT
public:
    DialogSimpleMsg(QWidget* parent, const QString& message);
};
